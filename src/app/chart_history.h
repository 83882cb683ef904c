#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "accounting/chart_series.h"
#include "sys/date.h"

namespace ebbwise {

// The live power chart: the last 15 minutes of row watts, which rows get a
// line of their own, and the colour slot of each row. Slots stay with their
// rows from tick to tick so a line never changes colour while it is drawn.
class ChartHistory {
 public:
  static constexpr double kSpanSeconds = 900;
  static constexpr std::size_t kChartedLimit = 5;
  static constexpr double kMinPeakWatts = 0.05;  // smallest peak worth a line
  // Slots handed to rows whose icon has no colour, in this order.
  static constexpr std::array<std::size_t, 6> neutralOrder = {2, 4, 5, 3, 0, 1};

  // The dominant hue of a row's icon (0 to 1), when it has a coloured one.
  using HueLookup = std::function<std::optional<double>(const std::string&)>;

  explicit ChartHistory(std::vector<double> slotHues) : slotHues_(std::move(slotHues)) {}

  // One chart step at `now`: adds the rows' watts as a sample (grouped into
  // series; nothing when there are no rows), forgets samples older than the
  // span, and picks the charted rows, the lines and new rows' slots.
  void record(sys::Date now, const std::map<std::string, double>& rowWatts, const HueLookup& hue);

  std::vector<std::pair<sys::Date, ChartSeries::Point>> samples() const;
  std::size_t sampleCount() const { return points_.size(); }
  const std::vector<std::string>& chartedRows() const { return chartedRows_; }
  // The charted rows, then the rest line when it ever reaches the minimum peak.
  const std::vector<std::string>& chartLines() const { return chartLines_; }
  const std::map<std::string, int>& seriesSlot() const { return seriesSlot_; }

 private:
  void assignSlots(const HueLookup& hue);
  void giveSlot(const std::string& row, std::size_t slot);
  std::optional<std::string> chartedHolder(std::size_t slot) const;

  std::vector<double> slotHues_;
  // Parallel lists, oldest first; the points feed the series pick as they are.
  std::vector<sys::Date> dates_;
  std::vector<ChartSeries::Point> points_;
  std::vector<std::string> chartedRows_;
  std::vector<std::string> chartLines_;
  std::map<std::string, int> seriesSlot_;
};

}  // namespace ebbwise

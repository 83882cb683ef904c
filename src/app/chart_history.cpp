#include "app/chart_history.h"

#include <algorithm>
#include <set>
#include <unordered_set>

#include "accounting/app_share.h"
#include "accounting/series_color_choice.h"

namespace ebbwise {

void ChartHistory::record(sys::Date now, const std::map<std::string, double>& rowWatts,
                          const HueLookup& hue) {
  if (!rowWatts.empty()) {
    ChartSeries::Point point(rowWatts.begin(), rowWatts.end());
    dates_.push_back(now);
    points_.push_back(ChartSeries::group(point));
  }
  // Samples are kept in time order, so the old ones are a prefix.
  std::size_t old = 0;
  while (old < dates_.size() && now - dates_[old] > kSpanSeconds) ++old;
  if (old > 0) {
    dates_.erase(dates_.begin(), dates_.begin() + static_cast<std::ptrdiff_t>(old));
    points_.erase(points_.begin(), points_.begin() + static_cast<std::ptrdiff_t>(old));
  }

  static const std::unordered_set<std::string> excluded{std::string(AppShare::otherName)};
  chartedRows_ = ChartSeries::pick(points_, kChartedLimit, kMinPeakWatts, excluded);
  double rest = 0;
  for (const auto& point : points_) {
    rest = std::max(rest, ChartSeries::value(ChartSeries::restKey, point, chartedRows_));
  }
  chartLines_ = chartedRows_;
  if (rest >= kMinPeakWatts) chartLines_.emplace_back(ChartSeries::restKey);
  assignSlots(hue);
}

std::vector<std::pair<sys::Date, ChartSeries::Point>> ChartHistory::samples() const {
  std::vector<std::pair<sys::Date, ChartSeries::Point>> out;
  out.reserve(points_.size());
  for (std::size_t i = 0; i < points_.size(); ++i) out.emplace_back(dates_[i], points_[i]);
  return out;
}

std::optional<std::string> ChartHistory::chartedHolder(std::size_t slot) const {
  for (const auto& row : chartedRows_) {
    auto it = seriesSlot_.find(row);
    if (it != seriesSlot_.end() && it->second == static_cast<int>(slot)) return row;
  }
  return std::nullopt;
}

void ChartHistory::giveSlot(const std::string& row, std::size_t slot) {
  std::erase_if(seriesSlot_,
                [&](const auto& entry) { return entry.second == static_cast<int>(slot); });
  seriesSlot_[row] = static_cast<int>(slot);
}

void ChartHistory::assignSlots(const HueLookup& hue) {
  auto hueOf = [&](const std::string& row) { return hue ? hue(row) : std::nullopt; };
  auto heldByCharted = [&](bool onlyColoured) {
    std::set<std::size_t> taken;
    for (const auto& row : chartedRows_) {
      auto it = seriesSlot_.find(row);
      if (it == seriesSlot_.end() || it->second < 0) continue;
      if (onlyColoured && !hueOf(row)) continue;
      taken.insert(static_cast<std::size_t>(it->second));
    }
    return taken;
  };
  for (const auto& row : chartedRows_) {
    if (seriesSlot_.contains(row)) continue;
    if (const std::optional<double> rowHue = hueOf(row)) {
      // A coloured icon takes its matching slot from a neutral row, which
      // moves to the next free neutral slot.
      auto slot = SeriesColorChoice::slot(rowHue, slotHues_, heldByCharted(true), {});
      if (!slot) continue;
      std::optional<std::string> displaced = chartedHolder(*slot);
      giveSlot(row, *slot);
      if (displaced && *displaced != row) {
        auto moved =
            SeriesColorChoice::slot(std::nullopt, slotHues_, heldByCharted(false), neutralOrder);
        if (moved) giveSlot(*displaced, *moved);
      }
    } else {
      auto slot =
          SeriesColorChoice::slot(std::nullopt, slotHues_, heldByCharted(false), neutralOrder);
      if (slot) giveSlot(row, *slot);
    }
  }
}

}  // namespace ebbwise

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "accounting/app_share.h"
#include "accounting/session.h"
#include "app/history_range.h"
#include "history/history_record.h"
#include "history/store.h"
#include "sensors/power/battery_reading.h"

namespace ebbwise {

// What the panel shows of one history range: the percent line, the rows'
// shares of the energy drawn, and the time and energy on battery.
struct RangeFigures {
  static constexpr std::size_t kShareLimit = 10;   // rows in a range's list
  static constexpr std::size_t kPointLimit = 400;  // stored points drawn for a day or week

  std::vector<BatteryPoint> history;
  std::vector<AppShare> shares;
  double seconds = 0;  // on battery within the range
  double joules = 0;   // drained from the battery within the range
  std::unordered_map<std::string, double> appJoules;

  // The on-battery range from the tracker's session (nothing without one),
  // and its percent line from the history since the session began (since
  // `now` without a session). `now` in seconds since 1970.
  static RangeFigures forSession(const std::optional<Session>& session, Store& store, double now);
  // The share figures of the session alone: what each tick refreshes.
  static RangeFigures sessionShares(const Session& session, double now);

  // The day or week range from the history, its percent line thinned to
  // `kPointLimit` points.
  static RangeFigures fromStore(HistoryRange range, Store& store, double now);

  // Exactly `limit` points spread evenly over `points` (point i is the one at
  // ⌊i × count / limit⌋) when there are more; otherwise all of them.
  static std::vector<BatteryPoint> thinned(std::vector<BatteryPoint> points, std::size_t limit);

  // The live point at the end of the line, from the last battery reading.
  void appendLivePoint(const std::optional<BatteryReading>& battery, sys::Date now);
};

}  // namespace ebbwise

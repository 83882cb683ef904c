#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "history/history_record.h"
#include "sensors/power/battery_reading.h"

namespace ebbwise {

// Gathers ticks into one history record a minute. A record closes with the
// tick that completes 60 seconds since its start (twelve 5-second ticks), or
// before a tick on another power source or one that starts after the minute
// is over.
struct MinuteBucket {
  std::optional<double> startTs;  // seconds since 1970; absent while empty
  double lastTs = 0;              // time of the last tick added
  double dt = 0;                  // seconds covered
  double signedJoules = 0;        // battery watts × seconds, + charging, − draining
  double percent = 0;             // percent at the last tick
  bool onAC = false;
  std::unordered_map<std::string, double> apps;  // joules per app name

  // Adds one tick that ends at `ts` and lasted `dt` seconds; returns the record
  // this tick closed, if any (holding the tick when it completed the minute,
  // else without it).
  std::optional<HistoryRecord> add(double ts, double dt, const BatteryReading& battery,
                                   const std::unordered_map<std::string, double>& appJoules);

  // The record of what was gathered (nothing when empty); the bucket is then empty.
  std::optional<HistoryRecord> flush();
};

}  // namespace ebbwise

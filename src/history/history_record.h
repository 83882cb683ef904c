#pragma once

#include <string>
#include <unordered_map>

#include "sys/date.h"

namespace ebbwise {

// One stored minute of history.
struct HistoryRecord {
  double ts = 0;       // seconds since 1970: the minute's last tick
  double dt = 0;       // seconds covered
  double percent = 0;  // battery percent at the last tick
  double watts = 0;    // mean battery power, signed (+ charging, − draining)
  bool onAC = false;
  std::unordered_map<std::string, double> appJoules;

  friend bool operator==(const HistoryRecord&, const HistoryRecord&) = default;
};

// One point of the stored percent history.
struct BatteryPoint {
  sys::Date date;
  double percent = 0;
  bool onAC = false;

  friend bool operator==(const BatteryPoint&, const BatteryPoint&) = default;
};

}  // namespace ebbwise

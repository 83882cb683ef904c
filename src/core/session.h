#pragma once

#include <string>
#include <unordered_map>

#include "sys/date.h"

namespace ebbwise {

// The current stretch on battery, from the last unplug.
struct Session {
  sys::Date start;           // the unplug, or the first tick seen on battery
  double startPercent = 0;   // battery percent at `start`
  double batteryJoules = 0;  // energy the machine drew during the session
  std::unordered_map<std::string, double> appJoules;  // per app name

  friend bool operator==(const Session&, const Session&) = default;
};

}  // namespace ebbwise

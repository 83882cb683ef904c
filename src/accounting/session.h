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
  // The graphics part of `appJoules`: the chip's graphics energy billed to
  // each app by GPU time. The history does not keep it, so a session
  // restored from it starts this empty.
  std::unordered_map<std::string, double> appGraphicsJoules;

  friend bool operator==(const Session&, const Session&) = default;
};

}  // namespace ebbwise

#include "display_rules/status_line.h"

#include <cmath>

#include "base/time_left.h"

namespace ebbwise {

namespace {

bool usable(const std::optional<double>& minutes) {
  return minutes && std::isfinite(*minutes) && *minutes > 0;
}

}  // namespace

std::string StatusLine::text(bool hasBattery, bool onAC, bool isCharging,
                             std::optional<double> minutesLeft,
                             std::optional<double> minutesToFull) {
  if (!hasBattery) return "No battery found";
  if (!onAC) {
    if (!usable(minutesLeft)) return "On battery";
    return "On battery, about " + TimeLeft::format(*minutesLeft) + " left";
  }
  if (!isCharging) return "Plugged in";
  if (!usable(minutesToFull)) return "Charging";
  return "Charging, full in " + TimeLeft::format(*minutesToFull);
}

}  // namespace ebbwise

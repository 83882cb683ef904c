#pragma once

#include <optional>
#include <string>

namespace ebbwise {

// The one-line summary at the top of the menu-bar panel.
namespace StatusLine {

// "No battery found"; on battery "On battery, about 3h 20m left" (just "On
// battery" while there is no estimate); on the charger "Charging, full in
// 45m", "Charging" without a time to full, or "Plugged in" when the battery
// does not charge. Estimates that are not finite positive numbers count as
// none.
std::string text(bool hasBattery, bool onAC, bool isCharging, std::optional<double> minutesLeft,
                 std::optional<double> minutesToFull);

}  // namespace StatusLine

}  // namespace ebbwise

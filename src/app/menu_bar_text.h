#pragma once

#include <optional>
#include <string>

#include "app/menu_bar_style.h"
#include "sensors/power/battery_reading.h"

namespace ebbwise {

// The short title of the optional menu-bar item.
namespace MenuBarText {

// "–" without a battery; the percent on the charger; on battery the drain
// ("7.3 W"), the time left ("3h 20m") or the percent, as `style` asks.
std::string text(const std::optional<BatteryReading>& battery, MenuBarStyle style,
                 std::optional<double> nowDrain, std::optional<double> minutesLeft);

}  // namespace MenuBarText

}  // namespace ebbwise

#include "app/menu_bar_text.h"

#include <cmath>
#include <cstdio>

#include "base/time_left.h"

namespace ebbwise::MenuBarText {

namespace {

std::string percentText(double percent) {
  if (!std::isfinite(percent)) return "\u2013";
  return std::to_string(std::llround(percent)) + "%";
}

}  // namespace

std::string text(const std::optional<BatteryReading>& battery, MenuBarStyle style,
                 std::optional<double> nowDrain, std::optional<double> minutesLeft) {
  if (!battery) return "\u2013";
  if (battery->onAC) return percentText(battery->percent);
  switch (style) {
    case MenuBarStyle::watts: {
      const double watts = nowDrain.value_or(-battery->watts);
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.1f W", std::isfinite(watts) ? watts : 0.0);
      return buffer;
    }
    case MenuBarStyle::timeLeft:
      if (minutesLeft && std::isfinite(*minutesLeft)) return TimeLeft::format(*minutesLeft);
      return percentText(battery->percent);
    case MenuBarStyle::percent:
      break;
  }
  return percentText(battery->percent);
}

}  // namespace ebbwise::MenuBarText

#include "ui/energy_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ebbwise::ui {

namespace EnergyText {

namespace {

std::string format(const char* pattern, double value) {
  // Bounded so the text stays short whatever the figure.
  double v = std::isnan(value) ? 0.0 : std::clamp(value, -9'999'999.0, 9'999'999.0);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, pattern, v);
  return buffer;
}

}  // namespace

std::string string(double joules, PowerUnit unit, const std::optional<BatteryReading>& battery) {
  if (unit == PowerUnit::percentPerHour && battery && battery->fullWh > 0) {
    double percent = joules / (battery->fullWh * 3600) * 100;
    return format(percent >= 10 ? "%.0f%%" : "%.1f%%", percent);
  }
  if (unit == PowerUnit::watts && joules >= 36'000) return format("%.0f Wh", joules / 3600);
  return format("%.1f Wh", joules / 3600);
}

double shownAsZero(PowerUnit unit, const std::optional<BatteryReading>& battery) {
  if (unit == PowerUnit::percentPerHour && battery && battery->fullWh > 0) {
    return 0.0005 * battery->fullWh * 3600;
  }
  return 180;
}

}  // namespace EnergyText

}  // namespace ebbwise::ui

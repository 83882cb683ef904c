#include "app/report_units.h"

#include <cmath>
#include <cstdio>

#include "base/time_left.h"

namespace ebbwise {

namespace {

constexpr double kJoulesPerWh = 3600.0;

std::string printed(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

}  // namespace

ReportUnits::Energy ReportUnits::energyFor(double largestJoules) {
  return std::fabs(largestJoules) >= kJoulesPerWh ? Energy::wattHours : Energy::milliwattHours;
}

std::string ReportUnits::energy(double joules, Energy unit) {
  if (!std::isfinite(joules)) return "-";
  return unit == Energy::wattHours ? printed("%.2f Wh", joules / kJoulesPerWh)
                                   : printed("%.1f mWh", joules / kJoulesPerWh * 1000);
}

std::string ReportUnits::energy(double joules) {
  return energy(joules, energyFor(joules));
}

std::string ReportUnits::span(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) return "-";
  if (seconds < 59.5) return printed("%.0fs", seconds);
  constexpr double kDay = 86400;
  if (seconds < kDay - 1800) return TimeLeft::format(std::round(seconds / 60));
  const double hours = std::round(seconds / 3600);
  const double days = std::floor(hours / 24);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.0fd %02.0fh", days, hours - days * 24);
  return buffer;
}

}  // namespace ebbwise

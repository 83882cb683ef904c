#include "base/time_left.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ebbwise::TimeLeft {

namespace {

// Durations beyond this many minutes (about 19 years) are shown at this bound:
// the figure is meaningless there, and it keeps the integer conversion defined.
constexpr double kLongest = 9'999'999.0;

// Whole minutes, halves away from zero; non-finite counts read as 0 or the bound.
long long wholeMinutes(double minutes) {
  if (std::isnan(minutes)) return 0;
  return std::llround(std::clamp(minutes, -kLongest, kLongest));
}

std::string hoursAndMinutes(long long m, const char* format) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, format, m / 60, m % 60);
  return buffer;
}

}  // namespace

std::optional<double> minutesToEmpty(double remainingWh, double averageDrainWatts) {
  if (remainingWh > 0 && averageDrainWatts > 0.5) return remainingWh / averageDrainWatts * 60.0;
  return std::nullopt;
}

std::string format(double minutes) {
  long long m = wholeMinutes(minutes);
  if (m >= 60) return hoursAndMinutes(m, "%lldh %02lldm");
  return std::to_string(m) + "m";
}

std::string compact(double minutes, bool steady) {
  long long m = wholeMinutes(minutes);
  if (steady && m >= 60) m = std::llround(static_cast<double>(m) / 5.0) * 5;
  if (m >= 60) return hoursAndMinutes(m, "%lldh%02lld");
  return std::to_string(m) + "m";
}

}  // namespace ebbwise::TimeLeft

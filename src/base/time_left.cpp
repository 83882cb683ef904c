#include "base/time_left.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace ebbwise::TimeLeft {

namespace {

// The minus sign of every figure.
constexpr std::string_view kMinus = "\u2212";

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
  const long long m = wholeMinutes(minutes);
  const long long a = std::llabs(m);
  const std::string text = a >= 60 ? hoursAndMinutes(a, "%lldh %02lldm") : std::to_string(a) + "m";
  return m < 0 ? std::string(kMinus) + text : text;
}

std::string compact(double minutes, bool steady) {
  const long long m = wholeMinutes(minutes);
  long long a = std::llabs(m);
  if (steady && a >= 60) a = std::llround(static_cast<double>(a) / 5.0) * 5;
  const std::string text = a >= 60 ? hoursAndMinutes(a, "%lldh%02lld") : std::to_string(a) + "m";
  return m < 0 ? std::string(kMinus) + text : text;
}

}  // namespace ebbwise::TimeLeft

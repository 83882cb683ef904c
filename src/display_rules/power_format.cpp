#include "display_rules/power_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/raw_value.h"

namespace ebbwise {

namespace {

constexpr std::string_view kMinus = "\u2212";
constexpr double kLargestShown = 999'999.0;
constexpr int kMostDecimals = 6;

// |value| with `decimals` digits after the point, bounded so the text stays
// short and NaN never reaches the formatter.
std::string magnitude(double value, int decimals) {
  double m = std::isnan(value) ? 0.0 : std::min(std::abs(value), kLargestShown);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.*f", std::clamp(decimals, 0, kMostDecimals), m);
  return buffer;
}

bool readsAsZero(std::string_view number) {
  return number.find_first_of("123456789") == std::string_view::npos;
}

}  // namespace

std::string_view rawValue(PowerUnit unit) {
  switch (unit) {
    case PowerUnit::percentPerHour:
      return "percentPerHour";
    case PowerUnit::watts:
      return "watts";
  }
  return "watts";
}

std::optional<PowerUnit> powerUnitFromRawValue(std::string_view raw) {
  return fromRawValue(allPowerUnits, raw);
}

std::string_view label(PowerUnit unit) {
  return unit == PowerUnit::watts ? "W" : "%/h";
}

namespace PowerFormat {

std::string string(double watts, PowerUnit unit, double fullWh, bool isSigned, int decimals,
                   bool tight) {
  double value = watts;
  if (unit == PowerUnit::percentPerHour) value = fullWh > 0 ? watts / fullWh * 100.0 : 0.0;
  if (std::isnan(value)) value = 0;

  std::string number = magnitude(value, decimals);
  std::string_view sign;
  if (!readsAsZero(number)) {
    if (isSigned) {
      sign = value > 0 ? "+" : kMinus;
    } else if (value < 0) {
      sign = kMinus;
    }
  }
  std::string text(sign);
  text += number;
  if (!tight) text += ' ';
  text += label(unit);
  return text;
}

}  // namespace PowerFormat

namespace NetPower {

std::string label(double watts) {
  if (std::isnan(watts) || std::abs(watts) < 0.05) return "0 W";
  std::string text(watts > 0 ? "+" : kMinus);
  text += magnitude(watts, 1);
  text += " W";
  return text;
}

}  // namespace NetPower

}  // namespace ebbwise

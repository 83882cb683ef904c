#include "display_rules/line_theme.h"

#include <algorithm>
#include <cmath>

#include "base/raw_value.h"

namespace ebbwise {

namespace {

constexpr std::array<std::uint32_t, 3> kManaGradient = {0x5EE7FF, 0x8A8CFF, 0xFF6FD8};

// Where a percent lies between the colour's two ends (10% and 90%); below 0
// and at or above 1 the colour stays at its end. NaN reads as below.
double colourPosition(double percent) {
  double t = (percent - 10.0) / 80.0;
  return std::isnan(t) ? -1.0 : t;
}

double between(double t, double low, double span) {
  if (t < 0) return low;
  if (t >= 1) return low + span;
  return low + span * t;
}

}  // namespace

std::string_view rawValue(LineTheme theme) {
  switch (theme) {
    case LineTheme::battery:
      return "Battery";
    case LineTheme::mana:
      return "Mana";
  }
  return "Battery";
}

std::optional<LineTheme> lineThemeFromRawValue(std::string_view raw) {
  return fromRawValue(allLineThemes, raw);
}

std::optional<std::span<const std::uint32_t>> gradient(LineTheme theme) {
  if (theme == LineTheme::mana) return std::span<const std::uint32_t>(kManaGradient);
  return std::nullopt;
}

HSB hsb(LineTheme theme, double percent) {
  double t = colourPosition(percent);
  if (theme == LineTheme::mana) return HSB{between(t, 0.53, 0.34), 0.62, 1.0};
  return HSB{between(t, 0.0, 0.33), 0.85, 0.95};
}

namespace BatteryColor {

double hue(double percent) {
  return between(colourPosition(percent), 0.0, 0.33);
}

double fraction(double percent) {
  if (std::isnan(percent)) return 0;
  return std::clamp(percent / 100.0, 0.0, 1.0);
}

}  // namespace BatteryColor

namespace ChargingSweep {

namespace {

// Share of a cycle the sweep spends growing; the rest is the fade.
constexpr double kGrowing = 0.8;
constexpr double kBrightest = 0.35;

}  // namespace

Segment segment(double level, double phase) {
  double p = std::isfinite(phase) ? phase - std::floor(phase) : 0.0;
  double u = std::min(p / kGrowing, 1.0);
  double l = std::isnan(level) ? 0.0 : std::clamp(level, 0.0, 1.0);
  double to = l + (1 - l) * u * u * (3 - 2 * u);
  double opacity = p < kGrowing ? kBrightest : kBrightest * (1 - (p - kGrowing) / (1 - kGrowing));
  return Segment{l, to, std::max(opacity, 0.0)};
}

}  // namespace ChargingSweep

}  // namespace ebbwise

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace ebbwise {

// A colour as hue, saturation and brightness, each 0 to 1.
struct HSB {
  double hue = 0;
  double saturation = 0;
  double brightness = 0;
  friend bool operator==(const HSB&, const HSB&) = default;
};

// The colour scheme of the line around the notch.
enum class LineTheme { battery, mana };

inline constexpr std::array<LineTheme, 2> allLineThemes = {LineTheme::battery, LineTheme::mana};

// The stored setting: "Battery", "Mana".
std::string_view rawValue(LineTheme theme);
// Nothing for a string that names no theme.
std::optional<LineTheme> lineThemeFromRawValue(std::string_view raw);

// The theme's gradient colours as 0xRRGGBB, in order; nothing for a theme
// drawn in one colour.
std::optional<std::span<const std::uint32_t>> gradient(LineTheme theme);

// The line's colour at a battery percent: from 10% and below to 90% and
// above the hue moves red to green (battery) or cyan to magenta (mana).
HSB hsb(LineTheme theme, double percent);

namespace BatteryColor {

// Red (0) at 10% and below, green (0.33) at 90% and above, linear between;
// a percent that is not a number reads as empty.
double hue(double percent);

// The line's length as a share of the full outline, 0 to 1 (0 for NaN).
double fraction(double percent);

}  // namespace BatteryColor

// The light that runs along the line while charging.
namespace ChargingSweep {

inline constexpr double cycle = 2.5;  // seconds per sweep

struct Segment {
  double from = 0;  // both ends as shares of the line
  double to = 0;
  double opacity = 0;
  friend bool operator==(const Segment&, const Segment&) = default;
};

// The lit part of the line at `phase` (in cycles; only the fraction counts):
// it grows from the charge level to the full end over the first 80% of a
// cycle, then fades out. A phase that is not finite counts as 0.
Segment segment(double level, double phase);

}  // namespace ChargingSweep

}  // namespace ebbwise

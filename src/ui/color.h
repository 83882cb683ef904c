#pragma once

#include <cstdint>

namespace ebbwise::ui {

// An sRGB colour with opacity, each component 0 to 1 (not premultiplied).
struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;

  // From 0xRRGGBB, opaque.
  static Color rgb24(std::uint32_t rgb);
  // From hue, saturation and brightness, each 0 to 1 (hue wraps around).
  static Color hsb(double hue, double saturation, double brightness, double alpha = 1);
  static Color gray(double white, double alpha = 1) { return Color{white, white, white, alpha}; }

  static Color white() { return Color{1, 1, 1, 1}; }
  static Color black() { return Color{0, 0, 0, 1}; }
  static Color clear() { return Color{0, 0, 0, 0}; }
  // The platform's named colours in their dark appearance.
  static Color systemGray() { return rgb24(0x8E8E93); }
  static Color systemYellow() { return rgb24(0xFFD60A); }
  static Color systemOrange() { return rgb24(0xFF9F0A); }
  static Color systemBlue() { return rgb24(0x0A84FF); }
  static Color secondary() { return Color{1, 1, 1, 0.55}; }

  // The same colour at `alpha` times its opacity.
  Color opacity(double alpha) const;

  // Components that are not numbers read as 0 and the rest are held to 0…1,
  // so a broken figure upstream never reaches the drawing library.
  Color clamped() const;

  friend bool operator==(const Color&, const Color&) = default;
};

}  // namespace ebbwise::ui

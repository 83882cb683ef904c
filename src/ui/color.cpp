#include "ui/color.h"

#include <algorithm>
#include <cmath>

namespace ebbwise::ui {

namespace {

double unit(double v) {
  return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0);
}

}  // namespace

Color Color::rgb24(std::uint32_t rgb) {
  return Color{((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, 1};
}

Color Color::hsb(double hue, double saturation, double brightness, double alpha) {
  double h = std::isfinite(hue) ? hue - std::floor(hue) : 0.0;
  double s = unit(saturation), v = unit(brightness);
  double sector = h * 6;
  int i = static_cast<int>(sector) % 6;
  double f = sector - std::floor(sector);
  double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  switch (i) {
    case 0:
      return Color{v, t, p, unit(alpha)};
    case 1:
      return Color{q, v, p, unit(alpha)};
    case 2:
      return Color{p, v, t, unit(alpha)};
    case 3:
      return Color{p, q, v, unit(alpha)};
    case 4:
      return Color{t, p, v, unit(alpha)};
    default:
      return Color{v, p, q, unit(alpha)};
  }
}

Color Color::opacity(double factor) const {
  return Color{red, green, blue, alpha * unit(factor)};
}

Color Color::clamped() const {
  return Color{unit(red), unit(green), unit(blue), unit(alpha)};
}

}  // namespace ebbwise::ui

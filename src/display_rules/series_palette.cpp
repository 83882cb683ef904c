#include "display_rules/series_palette.h"

#include <algorithm>
#include <cmath>

namespace ebbwise::SeriesPalette {

std::array<double, 6> hues() {
  std::array<double, 6> out{};
  for (std::size_t i = 0; i < rgb.size(); ++i) {
    const double r = ((rgb[i] >> 16) & 0xFF) / 255.0;
    const double g = ((rgb[i] >> 8) & 0xFF) / 255.0;
    const double b = (rgb[i] & 0xFF) / 255.0;
    const double hi = std::max({r, g, b});
    const double d = hi - std::min({r, g, b});
    double h = 0;
    if (d > 0) {
      if (hi == r) {
        h = std::fmod((g - b) / d, 6.0);
      } else if (hi == g) {
        h = (b - r) / d + 2;
      } else {
        h = (r - g) / d + 4;
      }
      h /= 6;
      if (h < 0) h += 1;
    }
    out[i] = h;
  }
  return out;
}

}  // namespace ebbwise::SeriesPalette

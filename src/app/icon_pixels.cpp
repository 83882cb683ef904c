#include "app/icon_pixels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace ebbwise::IconPixels {

namespace {

// The share of the source cell [i, i + 1) inside [from, to).
double overlap(int i, double from, double to) {
  return std::max(0.0, std::min(to, i + 1.0) - std::max(from, static_cast<double>(i)));
}

}  // namespace

sys::Image scaled(const sys::Image& image, int width, int height) {
  if (!image.isValid() || width <= 0 || height <= 0) return {};
  sys::Image out(width, height);
  const double kx = static_cast<double>(image.width) / width;
  const double ky = static_cast<double>(image.height) / height;
  for (int y = 0; y < height; ++y) {
    const double y0 = y * ky, y1 = (y + 1) * ky;
    const int syFirst = static_cast<int>(std::floor(y0));
    const int syLast = std::min(image.height - 1, static_cast<int>(std::ceil(y1)) - 1);
    for (int x = 0; x < width; ++x) {
      const double x0 = x * kx, x1 = (x + 1) * kx;
      const int sxFirst = static_cast<int>(std::floor(x0));
      const int sxLast = std::min(image.width - 1, static_cast<int>(std::ceil(x1)) - 1);
      // Premultiplied channels average without fringes at clear edges.
      std::array<double, 4> sum{};
      double weight = 0;
      for (int sy = syFirst; sy <= syLast; ++sy) {
        const double wy = overlap(sy, y0, y1);
        for (int sx = sxFirst; sx <= sxLast; ++sx) {
          const double w = wy * overlap(sx, x0, x1);
          const std::uint32_t p = image.at(sx, sy);
          for (int c = 0; c < 4; ++c)
            sum[static_cast<std::size_t>(c)] += w * ((p >> (24 - 8 * c)) & 0xFF);
          weight += w;
        }
      }
      std::uint32_t pixel = 0;
      if (weight > 0) {
        for (int c = 0; c < 4; ++c) {
          const auto v = static_cast<std::uint32_t>(
              std::lround(std::clamp(sum[static_cast<std::size_t>(c)] / weight, 0.0, 255.0)));
          pixel |= v << (24 - 8 * c);
        }
      }
      out.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                 static_cast<std::size_t>(x)] = pixel;
    }
  }
  return out;
}

std::vector<SeriesColorChoice::Pixel> hsba(const sys::Image& image) {
  std::vector<SeriesColorChoice::Pixel> out;
  if (!image.isValid()) return out;
  out.reserve(image.pixels.size());
  for (const std::uint32_t p : image.pixels) {
    const double a = ((p >> 24) & 0xFF) / 255.0;
    if (a <= 0) {
      out.push_back({0, 0, 0, 0});
      continue;
    }
    // A colour channel above its alpha is not a premultiplied colour;
    // clamping keeps such a pixel inside the colour space.
    auto channel = [&](int shift) { return std::min(1.0, ((p >> shift) & 0xFF) / 255.0 / a); };
    const double r = channel(16), g = channel(8), b = channel(0);
    const double max = std::max({r, g, b});
    const double min = std::min({r, g, b});
    const double delta = max - min;
    double h = 0;
    if (delta > 0) {
      if (max == r) {
        h = (g - b) / delta;
      } else if (max == g) {
        h = (b - r) / delta + 2;
      } else {
        h = (r - g) / delta + 4;
      }
      h /= 6;
      if (h < 0) h += 1;
    }
    out.push_back({h, max > 0 ? delta / max : 0, max, a});
  }
  return out;
}

std::optional<double> dominantHue(const sys::Image& image) {
  if (!image.isValid()) return std::nullopt;
  const std::vector<SeriesColorChoice::Pixel> pixels = hsba(scaled(image, kHueSize, kHueSize));
  return SeriesColorChoice::dominantHue(pixels);
}

}  // namespace ebbwise::IconPixels

#include "sim/app_icon_art.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>

namespace ebbwise::sim::AppIconArt {

namespace {

// Samples per pixel along each axis: edges get 17 levels of coverage,
// enough for them to look smooth at any size the views draw.
constexpr int kSamples = 4;

// The tile: a rounded square a little inside the canvas, as desktop icons
// leave a margin around their tile.
constexpr double kMargin = 0.06;
constexpr double kCorner = 0.2;

struct RGB {
  double r = 0, g = 0, b = 0;
};

RGB unpack(std::uint32_t rgb) {
  return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0};
}

RGB mix(RGB a, RGB b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

RGB scaled(RGB c, double k) {
  return {c.r * k, c.g * k, c.b * k};
}

constexpr RGB kWhite{1, 1, 1};

// Signed distance from (x, y) to a rounded rectangle centred at (cx, cy);
// negative inside.
double roundedBox(double x, double y, double cx, double cy, double halfW, double halfH,
                  double radius) {
  const double qx = std::abs(x - cx) - (halfW - radius);
  const double qy = std::abs(y - cy) - (halfH - radius);
  const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
  return outside + std::min(std::max(qx, qy), 0.0) - radius;
}

double tile(double x, double y) {
  return roundedBox(x, y, 0.5, 0.5, 0.5 - kMargin, 0.5 - kMargin, kCorner);
}

double mark(Mark m, double x, double y) {
  const double r = std::hypot(x - 0.5, y - 0.5);
  switch (m) {
    case Mark::disc:
      return r - 0.19;
    case Mark::ring:
      return std::abs(r - 0.165) - 0.06;
    case Mark::diamond:
      return (std::abs(x - 0.5) + std::abs(y - 0.5)) / std::sqrt(2.0) - 0.16;
    case Mark::bars: {
      // Three rounded bars standing on one line, like a level meter.
      constexpr std::array<double, 3> kX = {0.34, 0.5, 0.66};
      constexpr std::array<double, 3> kHeight = {0.2, 0.36, 0.28};
      constexpr double kBase = 0.7;
      double d = 1;
      for (std::size_t i = 0; i < kX.size(); ++i) {
        d = std::min(d,
                     roundedBox(x, y, kX[i], kBase - kHeight[i] / 2, 0.055, kHeight[i] / 2, 0.05));
      }
      return d;
    }
  }
  return 1;
}

// Paints an image by asking `colorAt` for the colour and coverage (0 or 1)
// of points in the unit square, averaged over a grid of samples per pixel.
struct Sample {
  RGB color;
  bool inside = false;
};

sys::Image paint(int size, const std::function<Sample(double x, double y)>& colorAt) {
  sys::Image image(size, size);
  if (!image.isValid()) return image;
  const double step = 1.0 / (size * kSamples);
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      RGB sum;
      int covered = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const double x = (px * kSamples + sx + 0.5) * step;
          const double y = (py * kSamples + sy + 0.5) * step;
          const Sample s = colorAt(x, y);
          if (!s.inside) continue;
          ++covered;
          sum.r += s.color.r;
          sum.g += s.color.g;
          sum.b += s.color.b;
        }
      }
      // Premultiplied: the channel sums over all samples are the colour
      // times the covered share.
      constexpr double kCount = kSamples * kSamples;
      auto byte = [](double v) {
        return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
      };
      image.pixels[static_cast<std::size_t>(py) * static_cast<std::size_t>(size) +
                   static_cast<std::size_t>(px)] = byte(covered / kCount) << 24 |
                                                   byte(sum.r / kCount) << 16 |
                                                   byte(sum.g / kCount) << 8 | byte(sum.b / kCount);
    }
  }
  return image;
}

sys::Image tileIcon(RGB top, RGB bottom, RGB markColor, Mark m, int size) {
  return paint(size, [&](double x, double y) {
    if (tile(x, y) > 0) return Sample{};
    if (mark(m, x, y) <= 0) return Sample{markColor, true};
    const double t = std::clamp((y - kMargin) / (1 - 2 * kMargin), 0.0, 1.0);
    return Sample{mix(top, bottom, t), true};
  });
}

RGB fromHSB(double h, double s, double v) {
  const double sector = std::fmod(h, 1.0) * 6;
  const int i = static_cast<int>(sector) % 6;
  const double f = sector - std::floor(sector);
  const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  switch (i) {
    case 0:
      return {v, t, p};
    case 1:
      return {q, v, p};
    case 2:
      return {p, v, t};
    case 3:
      return {p, q, v};
    case 4:
      return {t, p, v};
    default:
      return {v, p, q};
  }
}

std::uint32_t fnv1a(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash;
}

}  // namespace

sys::Image appIcon(std::uint32_t rgb, Mark mark, int size) {
  const RGB base = unpack(rgb);
  // Lighter at the top and darker at the bottom, as if lit from above;
  // both keep the colour's hue.
  return tileIcon(mix(base, kWhite, 0.2), scaled(base, 0.78), mix(base, kWhite, 0.86), mark, size);
}

sys::Image genericAppIcon(int size) {
  return tileIcon(RGB{0.62, 0.62, 0.62}, RGB{0.42, 0.42, 0.42}, RGB{0.9, 0.9, 0.9}, Mark::ring,
                  size);
}

sys::Image documentIcon(int size) {
  // A page with its top right corner folded down.
  constexpr double kLeft = 0.2, kRight = 0.8, kTop = 0.08, kBottom = 0.92, kFold = 0.2;
  constexpr double kEdge = 0.025;
  return paint(size, [](double x, double y) {
    if (x < kLeft || x > kRight || y < kTop || y > kBottom) return Sample{};
    const double cutX = kRight - kFold;
    if (x - cutX > y - kTop) return Sample{};  // the folded-away corner
    if (x >= cutX && y <= kTop + kFold) return Sample{RGB{0.82, 0.82, 0.82}, true};
    const bool edge = x < kLeft + kEdge || x > kRight - kEdge || y < kTop + kEdge ||
                      y > kBottom - kEdge || (x - cutX) > (y - kTop) - kEdge * 1.4;
    return Sample{edge ? RGB{0.7, 0.7, 0.7} : RGB{0.97, 0.97, 0.97}, true};
  });
}

std::uint32_t colorFor(std::string_view identity) {
  const double hue = (fnv1a(identity) % 360) / 360.0;
  const RGB c = fromHSB(hue, 0.62, 0.82);
  auto byte = [](double v) { return static_cast<std::uint32_t>(std::lround(v * 255)); };
  return byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

Mark markFor(std::string_view identity) {
  return static_cast<Mark>((fnv1a(identity) >> 11) % 4);
}

}  // namespace ebbwise::sim::AppIconArt

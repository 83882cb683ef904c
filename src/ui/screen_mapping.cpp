#include "ui/screen_mapping.h"

#include <algorithm>
#include <cmath>

namespace ebbwise::ui {

ScreenMapping ScreenMapping::fit(const Rect& frame, const Rect& notch, int pixelWidth,
                                 int pixelHeight) {
  ScreenMapping m;
  double w = std::abs(frame.width), h = std::abs(frame.height);
  double scale = std::min(pixelWidth / w, pixelHeight / h);
  m.scale = std::isfinite(scale) && scale > 0 ? scale : 1;
  m.notchMidX = notch.minX() + std::abs(notch.width) / 2;
  m.screenTop = frame.maxY();
  m.pixelWidth = pixelWidth;
  m.pixelHeight = pixelHeight;
  return m;
}

ScreenPoint ScreenMapping::toScreen(double px, double py) const {
  return ScreenPoint{notchMidX + (px - pixelWidth / 2.0) / scale, screenTop - py / scale};
}

PixelRect ScreenMapping::toPixels(const Rect& r) const {
  double left = pixelWidth / 2.0 + (r.minX() - notchMidX) * scale;
  double right = pixelWidth / 2.0 + (r.maxX() - notchMidX) * scale;
  double top = (screenTop - r.maxY()) * scale;
  double bottom = (screenTop - r.minY()) * scale;
  auto clampInt = [](double v) { return static_cast<int>(std::clamp(v, -1e6, 1e6)); };
  int x = clampInt(std::floor(left)), y = clampInt(std::floor(top));
  return PixelRect{x, y, clampInt(std::ceil(right)) - x, clampInt(std::ceil(bottom)) - y};
}

}  // namespace ebbwise::ui

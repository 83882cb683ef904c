#include "ui/notch_shape.h"

#include <algorithm>
#include <cmath>

namespace ebbwise::ui {

Path NotchShape::path(const Box& rect) const {
  double w = rect.width, h = rect.height;
  double f = std::isfinite(flare) ? std::max(flare, 0.0) : 0.0;
  double r = std::min({std::isfinite(bottomRadius) ? bottomRadius : 0.0, (w - 2 * f) / 2, h - f});
  r = std::max(r, 0.0);
  Path p;
  if (outlineOnly) {
    p.moveTo({f, 0});
  } else {
    p.moveTo({0, 0});
    p.quadTo({f, 0}, {f, f});
  }
  p.lineTo({f, h - r});
  p.quadTo({f, h}, {f + r, h});
  p.lineTo({w - f - r, h});
  p.quadTo({w - f, h}, {w - f, h - r});
  if (outlineOnly) {
    p.lineTo({w - f, 0});
  } else {
    p.lineTo({w - f, f});
    p.quadTo({w - f, 0}, {w, 0});
    p.close();
  }
  return p.translated(rect.x, rect.y);
}

}  // namespace ebbwise::ui

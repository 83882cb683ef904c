#include "display_rules/notch_geometry.h"

namespace ebbwise {

namespace {

// A narrower gap between the two menu-bar areas is a rounding artefact of the
// window system, not a camera housing.
constexpr double kNarrowestNotch = 20;

}  // namespace

std::optional<NotchGeometry> NotchGeometry::from(const Rect& screen,
                                                 const std::optional<Rect>& topLeftArea,
                                                 const std::optional<Rect>& topRightArea,
                                                 double safeAreaTop) {
  if (!topLeftArea || !topRightArea || !(safeAreaTop > 0)) return std::nullopt;
  double left = screen.minX() + topLeftArea->width;
  double right = screen.maxX() - topRightArea->width;
  // Negated so that NaN widths give nothing too.
  if (!(right - left > kNarrowestNotch)) return std::nullopt;
  return NotchGeometry{Rect{left, screen.maxY() - safeAreaTop, right - left, safeAreaTop}};
}

}  // namespace ebbwise

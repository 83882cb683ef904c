#pragma once

// Display rules: the notch's geometry and the pure rules the notch and the
// panels draw by (labels, colours, power text), free of any drawing library.

#include <optional>

#include "display_rules/rect.h"

namespace ebbwise {

// Where the camera notch sits on the built-in screen.
struct NotchGeometry {
  Rect rect;  // screen coordinates, origin bottom-left

  // The notch between the menu-bar areas left and right of the camera
  // housing, as tall as the top safe-area inset. Nothing on a screen without
  // those areas or inset, or when the gap between them is 20 points or less.
  static std::optional<NotchGeometry> from(const Rect& screen,
                                           const std::optional<Rect>& topLeftArea,
                                           const std::optional<Rect>& topRightArea,
                                           double safeAreaTop);

  friend bool operator==(const NotchGeometry&, const NotchGeometry&) = default;
};

}  // namespace ebbwise

#pragma once

#include <algorithm>

namespace ebbwise {

// A rectangle in screen points, origin at the bottom left as the window
// system gives screen frames (y grows upwards). A negative width or height
// extends the other way from the origin.
struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  double minX() const { return std::min(x, x + width); }
  double maxX() const { return std::max(x, x + width); }
  double minY() const { return std::min(y, y + height); }
  double maxY() const { return std::max(y, y + height); }

  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace ebbwise

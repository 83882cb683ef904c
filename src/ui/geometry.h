#pragma once

// The face: views drawn with Cairo and Pango onto any surface through one
// drawing interface, the notch controller, and the SDL2 windows on X11.

#include <algorithm>

namespace ebbwise::ui {

// Drawing coordinates: points, origin at the top left, y growing downwards
// (unlike the screen frames of the window system, whose y grows upwards).
struct Point {
  double x = 0;
  double y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  double width = 0;
  double height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// A rectangle in drawing coordinates.
struct Box {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  double minX() const { return x; }
  double maxX() const { return x + width; }
  double minY() const { return y; }
  double maxY() const { return y + height; }
  double midX() const { return x + width / 2; }
  double midY() const { return y + height / 2; }
  bool contains(Point p) const { return p.x >= x && p.x <= maxX() && p.y >= y && p.y <= maxY(); }
  Box insetBy(double dx, double dy) const {
    return Box{x + dx, y + dy, std::max(width - 2 * dx, 0.0), std::max(height - 2 * dy, 0.0)};
  }
  Box united(const Box& o) const {
    double left = std::min(x, o.x), top = std::min(y, o.y);
    return Box{left, top, std::max(maxX(), o.maxX()) - left, std::max(maxY(), o.maxY()) - top};
  }
  friend bool operator==(const Box&, const Box&) = default;
};

}  // namespace ebbwise::ui

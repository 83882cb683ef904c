#pragma once

#include <optional>
#include <vector>

#include "ui/geometry.h"

namespace ebbwise::ui {

// A shape outline of lines and quadratic curves, in drawing coordinates. The
// drawing contexts draw it as it is; trimming and measuring work on its
// flattened form, so a part of a curved line can be drawn by length.
class Path {
 public:
  enum class Verb { move, line, quad, close };
  struct Element {
    Verb verb = Verb::move;
    Point control;  // quad only
    Point to;       // unused by close
  };

  void moveTo(Point p);
  void lineTo(Point p);
  void quadTo(Point control, Point to);
  void close();

  static Path rect(const Box& box);
  // A rectangle with corners rounded by `radius` (held to half the shorter side).
  static Path roundedRect(const Box& box, double radius);
  static Path ellipse(const Box& box);

  const std::vector<Element>& elements() const { return elements_; }
  bool empty() const { return elements_.empty(); }

  // The outline as polylines, one per subpath, curves cut into short lines.
  // A closed subpath repeats its first point at the end.
  std::vector<std::vector<Point>> flattened() const;

  // Length of all subpaths together.
  double length() const;

  // The stretch from `from` to `to`, both shares (0 to 1) of the whole length
  // counted from the start of the first subpath, as lines. Out-of-range or
  // NaN shares are held to 0…1; nothing is left when `to` ≤ `from`.
  Path trimmed(double from, double to) const;

  // The path moved by (dx, dy).
  Path translated(double dx, double dy) const;

  // The smallest box holding every point and control point; nothing for an
  // empty path.
  std::optional<Box> bounds() const;

 private:
  std::vector<Element> elements_;
};

}  // namespace ebbwise::ui

#include "ui/path.h"

#include <algorithm>
#include <cmath>

namespace ebbwise::ui {

namespace {

// Curves become this many lines when flattened: enough for the small radii
// the views use (under a tenth of a point off at a 26-point corner).
constexpr int kCurveSegments = 16;

double distance(Point a, Point b) {
  return std::hypot(b.x - a.x, b.y - a.y);
}

Point lerp(Point a, Point b, double t) {
  return Point{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

double unitShare(double v) {
  return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0);
}

}  // namespace

void Path::moveTo(Point p) {
  elements_.push_back({Verb::move, {}, p});
}

void Path::lineTo(Point p) {
  if (elements_.empty()) return moveTo(p);
  elements_.push_back({Verb::line, {}, p});
}

void Path::quadTo(Point control, Point to) {
  if (elements_.empty()) moveTo(control);
  elements_.push_back({Verb::quad, control, to});
}

void Path::close() {
  if (!elements_.empty()) elements_.push_back({Verb::close, {}, {}});
}

Path Path::rect(const Box& b) {
  Path p;
  p.moveTo({b.x, b.y});
  p.lineTo({b.maxX(), b.y});
  p.lineTo({b.maxX(), b.maxY()});
  p.lineTo({b.x, b.maxY()});
  p.close();
  return p;
}

Path Path::roundedRect(const Box& b, double radius) {
  double r = std::isnan(radius) ? 0.0 : std::clamp(radius, 0.0, std::min(b.width, b.height) / 2);
  if (r <= 0) return rect(b);
  // Each corner a quarter circle of two 45° quadratic arcs, round to well
  // under a hundredth of the radius.
  const double reach = 1 / std::cos(M_PI / 8);
  auto corner = [&](Path& p, Point centre, double startAngle) {
    for (int i = 0; i < 2; ++i) {
      double mid = startAngle + M_PI / 8 * (2 * i + 1), end = startAngle + M_PI / 4 * (i + 1);
      p.quadTo({centre.x + r * reach * std::cos(mid), centre.y + r * reach * std::sin(mid)},
               {centre.x + r * std::cos(end), centre.y + r * std::sin(end)});
    }
  };
  Path p;
  p.moveTo({b.x + r, b.y});
  p.lineTo({b.maxX() - r, b.y});
  corner(p, {b.maxX() - r, b.y + r}, -M_PI / 2);
  p.lineTo({b.maxX(), b.maxY() - r});
  corner(p, {b.maxX() - r, b.maxY() - r}, 0);
  p.lineTo({b.x + r, b.maxY()});
  corner(p, {b.x + r, b.maxY() - r}, M_PI / 2);
  p.lineTo({b.x, b.y + r});
  corner(p, {b.x + r, b.y + r}, M_PI);
  p.close();
  return p;
}

Path Path::ellipse(const Box& b) {
  // Eight quadratic arcs of 45° each: round to well under a hundredth of the
  // radius, which is all a dot or a lens needs.
  Path p;
  double cx = b.midX(), cy = b.midY(), rx = b.width / 2, ry = b.height / 2;
  const double step = M_PI / 4, reach = 1 / std::cos(step / 2);
  p.moveTo({cx + rx, cy});
  for (int i = 0; i < 8; ++i) {
    double mid = step * (i + 0.5), end = step * (i + 1);
    p.quadTo({cx + rx * reach * std::cos(mid), cy + ry * reach * std::sin(mid)},
             {cx + rx * std::cos(end), cy + ry * std::sin(end)});
  }
  p.close();
  return p;
}

std::vector<std::vector<Point>> Path::flattened() const {
  std::vector<std::vector<Point>> lines;
  Point start, current;
  for (const Element& e : elements_) {
    switch (e.verb) {
      case Verb::move:
        lines.push_back({e.to});
        start = current = e.to;
        break;
      case Verb::line:
        lines.back().push_back(e.to);
        current = e.to;
        break;
      case Verb::quad:
        for (int i = 1; i <= kCurveSegments; ++i) {
          double t = static_cast<double>(i) / kCurveSegments;
          lines.back().push_back(lerp(lerp(current, e.control, t), lerp(e.control, e.to, t), t));
        }
        current = e.to;
        break;
      case Verb::close:
        lines.back().push_back(start);
        current = start;
        break;
    }
  }
  return lines;
}

double Path::length() const {
  double total = 0;
  for (const auto& line : flattened()) {
    for (std::size_t i = 1; i < line.size(); ++i) total += distance(line[i - 1], line[i]);
  }
  return total;
}

Path Path::trimmed(double from, double to) const {
  from = unitShare(from);
  to = unitShare(to);
  Path out;
  double total = length();
  if (to <= from || !(total > 0)) return out;
  double begin = from * total, end = to * total, walked = 0;
  for (const auto& line : flattened()) {
    bool drawing = false;
    for (std::size_t i = 1; i < line.size(); ++i) {
      double piece = distance(line[i - 1], line[i]);
      double a = walked, b = walked + piece;
      walked = b;
      if (b <= begin || a >= end || piece <= 0) continue;
      Point first = lerp(line[i - 1], line[i], std::max(begin - a, 0.0) / piece);
      Point last = lerp(line[i - 1], line[i], std::min(end - a, piece) / piece);
      if (!drawing) out.moveTo(first);
      drawing = true;
      out.lineTo(last);
    }
  }
  return out;
}

Path Path::translated(double dx, double dy) const {
  Path out = *this;
  for (Element& e : out.elements_) {
    e.control = {e.control.x + dx, e.control.y + dy};
    e.to = {e.to.x + dx, e.to.y + dy};
  }
  return out;
}

std::optional<Box> Path::bounds() const {
  std::optional<Box> box;
  auto add = [&](Point p) {
    Box b{p.x, p.y, 0, 0};
    box = box ? box->united(b) : b;
  };
  for (const Element& e : elements_) {
    if (e.verb == Verb::close) continue;
    if (e.verb == Verb::quad) add(e.control);
    add(e.to);
  }
  return box;
}

}  // namespace ebbwise::ui

#include "ui/recording_canvas.h"

#include <algorithm>
#include <cmath>

#include "base/utf8.h"
#include "ui/symbol_glyphs.h"

namespace ebbwise::ui {

namespace {

constexpr double kAdvance = 0.6;  // of the size, per character
constexpr double kLine = 1.2;     // of the size, per line
constexpr std::string_view kEllipsis = "\u2026";

bool finite(const Path& path) {
  for (const Path::Element& e : path.elements()) {
    if (!std::isfinite(e.to.x) || !std::isfinite(e.to.y)) return false;
    if (e.verb == Path::Verb::quad && (!std::isfinite(e.control.x) || !std::isfinite(e.control.y)))
      return false;
  }
  return true;
}

Color firstColor(const Paint& paint) {
  if (const Color* c = std::get_if<Color>(&paint)) return *c;
  if (const auto* g = std::get_if<LinearGradient>(&paint))
    return g->stops.empty() ? Color::clear() : g->stops.front().color;
  if (const auto* r = std::get_if<RadialGradient>(&paint))
    return r->stops.empty() ? Color::clear() : r->stops.front().color;
  return Color::clear();
}

double characters(std::string_view text) {
  return static_cast<double>(Utf8::length(text));
}

}  // namespace

Path RecordingCanvas::transformed(const Path& path) const {
  Path out;
  for (const Path::Element& e : path.elements()) {
    switch (e.verb) {
      case Path::Verb::move:
        out.moveTo(transform_.apply(e.to));
        break;
      case Path::Verb::line:
        out.lineTo(transform_.apply(e.to));
        break;
      case Path::Verb::quad:
        out.quadTo(transform_.apply(e.control), transform_.apply(e.to));
        break;
      case Path::Verb::close:
        out.close();
        break;
    }
  }
  return out;
}

Box RecordingCanvas::transformed(const Box& box) const {
  Point corners[] = {transform_.apply({box.x, box.y}), transform_.apply({box.maxX(), box.y}),
                     transform_.apply({box.x, box.maxY()}),
                     transform_.apply({box.maxX(), box.maxY()})};
  Box out{corners[0].x, corners[0].y, 0, 0};
  for (Point p : corners) out = out.united(Box{p.x, p.y, 0, 0});
  return out;
}

int RecordingCanvas::layers() const {
  return static_cast<int>(
      std::count_if(stack_.begin(), stack_.end(), [](const State& s) { return s.layer; }));
}

void RecordingCanvas::fill(const Path& path, const Paint& paint) {
  if (!finite(path)) return void(++refused_);
  DrawOp op;
  op.kind = DrawOp::Kind::fill;
  op.path = transformed(path);
  op.bounds = op.path.bounds().value_or(Box{});
  op.paint = paint;
  op.color = firstColor(paint);
  op.opacity = opacity();
  op.depth = layers();
  ops_.push_back(std::move(op));
}

void RecordingCanvas::stroke(const Path& path, const Stroke& stroke, const Paint& paint) {
  if (!finite(path) || !std::isfinite(stroke.width)) return void(++refused_);
  DrawOp op;
  op.kind = DrawOp::Kind::stroke;
  op.path = transformed(path);
  op.bounds = op.path.bounds().value_or(Box{});
  op.paint = paint;
  op.color = firstColor(paint);
  op.opacity = opacity();
  op.stroke = stroke;
  op.length = op.path.length();
  op.depth = layers();
  ops_.push_back(std::move(op));
}

std::string RecordingCanvas::cut(std::string_view text, const TextStyle& style) const {
  std::string valid = Utf8::decode(text);
  if (style.wrapWidth || !style.maxWidth) return valid;
  double advance = kAdvance * style.size;
  if (characters(valid) * advance <= *style.maxWidth) return valid;
  double room = std::max(*style.maxWidth / advance - 1, 0.0);
  return std::string(Utf8::prefix(valid, static_cast<std::size_t>(room))) + std::string(kEllipsis);
}

Size RecordingCanvas::measure(std::string_view text, const TextStyle& style) {
  std::string shown = cut(text, style);
  double width = characters(shown) * kAdvance * style.size;
  double lines = 1;
  if (style.wrapWidth && *style.wrapWidth > 0 && width > *style.wrapWidth) {
    lines = std::ceil(width / *style.wrapWidth);
    width = *style.wrapWidth;
  }
  return Size{width, lines * kLine * style.size};
}

void RecordingCanvas::text(std::string_view text, Point origin, const TextStyle& style,
                           const Color& color) {
  if (!std::isfinite(origin.x) || !std::isfinite(origin.y)) return void(++refused_);
  Size size = measure(text, style);
  DrawOp op;
  op.kind = DrawOp::Kind::text;
  op.bounds = transformed(Box{origin.x, origin.y, size.width, size.height});
  op.color = color;
  op.opacity = opacity();
  op.text = cut(text, style);
  op.style = style;
  op.depth = layers();
  ops_.push_back(std::move(op));
}

void RecordingCanvas::icon(std::string_view symbol, const Box& box, const Color& color) {
  if (!std::isfinite(box.x) || !std::isfinite(box.y) || !std::isfinite(box.width) ||
      !std::isfinite(box.height))
    return void(++refused_);
  DrawOp op;
  op.kind = DrawOp::Kind::icon;
  op.bounds = transformed(box);
  op.color = color;
  op.opacity = opacity();
  op.symbol = symbol;
  op.fallback = !SymbolGlyphs::find(symbol);
  op.depth = layers();
  ops_.push_back(std::move(op));
}

void RecordingCanvas::image(const sys::Image& image, const Box& box) {
  if (!std::isfinite(box.x) || !std::isfinite(box.y) || !std::isfinite(box.width) ||
      !std::isfinite(box.height))
    return void(++refused_);
  if (!image.isValid()) return;
  DrawOp op;
  op.kind = DrawOp::Kind::image;
  op.bounds = transformed(box);
  op.opacity = opacity();
  op.imageSize = Size{static_cast<double>(image.width), static_cast<double>(image.height)};
  op.depth = layers();
  ops_.push_back(std::move(op));
}

void RecordingCanvas::save() {
  stack_.push_back(State{transform_, false, opacity()});
}

void RecordingCanvas::restore() {
  if (stack_.empty() || stack_.back().layer) return;
  transform_ = stack_.back().transform;
  stack_.pop_back();
}

void RecordingCanvas::translate(double dx, double dy) {
  if (!std::isfinite(dx) || !std::isfinite(dy)) return void(++refused_);
  transform_.e += transform_.a * dx + transform_.c * dy;
  transform_.f += transform_.b * dx + transform_.d * dy;
}

void RecordingCanvas::rotate(double radians) {
  if (!std::isfinite(radians)) return void(++refused_);
  double cs = std::cos(radians), sn = std::sin(radians);
  Transform t = transform_;
  transform_.a = t.a * cs + t.c * sn;
  transform_.b = t.b * cs + t.d * sn;
  transform_.c = -t.a * sn + t.c * cs;
  transform_.d = -t.b * sn + t.d * cs;
}

void RecordingCanvas::clip(const Path&) {}

void RecordingCanvas::beginLayer(double layerOpacity) {
  double o = std::isnan(layerOpacity) ? 0.0 : std::clamp(layerOpacity, 0.0, 1.0);
  stack_.push_back(State{transform_, true, opacity() * o});
}

void RecordingCanvas::endLayer() {
  if (stack_.empty() || !stack_.back().layer) return;
  transform_ = stack_.back().transform;
  stack_.pop_back();
}

const DrawOp* RecordingCanvas::findText(std::string_view text) const {
  for (const DrawOp& op : ops_) {
    if (op.kind == DrawOp::Kind::text && op.text == text) return &op;
  }
  return nullptr;
}

const DrawOp* RecordingCanvas::findIcon(std::string_view symbol) const {
  for (const DrawOp& op : ops_) {
    if (op.kind == DrawOp::Kind::icon && op.symbol == symbol) return &op;
  }
  return nullptr;
}

std::vector<const DrawOp*> RecordingCanvas::all(DrawOp::Kind kind) const {
  std::vector<const DrawOp*> out;
  for (const DrawOp& op : ops_) {
    if (op.kind == kind) out.push_back(&op);
  }
  return out;
}

}  // namespace ebbwise::ui

#pragma once

#include <string>
#include <vector>

#include "ui/canvas.h"

namespace ebbwise::ui {

// One thing a view drew, in the canvas's own coordinates (transforms
// applied).
struct DrawOp {
  enum class Kind { fill, stroke, text, icon, image };
  Kind kind = Kind::fill;
  Box bounds;             // the path's bounds, the text's logical box or the icon's or image's box
  Paint paint;            // fills and strokes
  Color color;            // texts and icons; for shapes the colour or the first stop
  double opacity = 1;     // product of the layers around it
  Path path;              // fills and strokes
  Stroke stroke;          // strokes
  double length = 0;      // strokes: the length of the line
  std::string text;       // texts, as drawn (cut texts end with "…")
  TextStyle style;        // texts
  std::string symbol;     // icons
  bool fallback = false;  // an icon without a glyph, drawn as an outline
  Size imageSize;         // images: the bitmap's size in pixels
  int depth = 0;          // layers around it

  // The colour the op leaves on a dark background, opacity included.
  double visibleAlpha() const { return color.alpha * opacity; }
};

// A canvas that keeps what is drawn instead of drawing it, so tests can ask
// which texts, symbols, shapes and colours a view put where. Text is
// measured with fixed metrics (0.6 of the size per character, lines 1.2 of
// the size tall), which keeps layouts the same on every machine. Clips are
// not recorded.
class RecordingCanvas final : public Canvas {
 public:
  void fill(const Path& path, const Paint& paint) override;
  void stroke(const Path& path, const Stroke& stroke, const Paint& paint) override;
  Size measure(std::string_view text, const TextStyle& style) override;
  void text(std::string_view text, Point origin, const TextStyle& style,
            const Color& color) override;
  void icon(std::string_view symbol, const Box& box, const Color& color) override;
  void image(const sys::Image& image, const Box& box) override;
  void save() override;
  void restore() override;
  void translate(double dx, double dy) override;
  void rotate(double radians) override;
  void clip(const Path& path) override;
  void beginLayer(double opacity) override;
  void endLayer() override;

  const std::vector<DrawOp>& ops() const { return ops_; }
  // Drawing calls refused for geometry that is not finite.
  int refused() const { return refused_; }

  // The first text op whose text equals `text`, or null.
  const DrawOp* findText(std::string_view text) const;
  // The first icon op of `symbol`, or null.
  const DrawOp* findIcon(std::string_view symbol) const;
  std::vector<const DrawOp*> all(DrawOp::Kind kind) const;

 private:
  struct Transform {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;  // x' = a x + c y + e; y' = b x + d y + f
    Point apply(Point p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
  };
  struct State {
    Transform transform;
    bool layer = false;
    double opacity = 1;  // product of the layers, this one included
  };

  Path transformed(const Path& path) const;
  Box transformed(const Box& box) const;
  std::string cut(std::string_view text, const TextStyle& style) const;
  double opacity() const { return stack_.empty() ? 1.0 : stack_.back().opacity; }
  int layers() const;

  std::vector<DrawOp> ops_;
  std::vector<State> stack_;
  Transform transform_;
  int refused_ = 0;
};

}  // namespace ebbwise::ui

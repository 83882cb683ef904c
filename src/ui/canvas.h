#pragma once

#include <optional>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "sys/image.h"
#include "ui/color.h"
#include "ui/geometry.h"
#include "ui/path.h"

namespace ebbwise::ui {

enum class FontWeight { regular, medium, semibold, bold };

// How a text is set. Texts are set in the text font; sizes are in points.
struct TextStyle {
  TextStyle() = default;
  TextStyle(double size, FontWeight weight = FontWeight::regular, bool monospacedDigits = false)
      : size(size), weight(weight), monospacedDigits(monospacedDigits) {}

  // The same style cut at `width`, or wrapped at it.
  TextStyle cutAt(double width) const {
    TextStyle s = *this;
    s.maxWidth = width;
    return s;
  }
  TextStyle wrappedAt(double width) const {
    TextStyle s = *this;
    s.wrapWidth = width;
    return s;
  }

  double size = 13;
  FontWeight weight = FontWeight::regular;
  bool monospacedDigits = false;  // every digit as wide as the others
  // One line, cut with "…" where it would pass this width.
  std::optional<double> maxWidth;
  // As many lines as the text needs at this width (instead of one line).
  std::optional<double> wrapWidth;
  friend bool operator==(const TextStyle&, const TextStyle&) = default;
};

struct GradientStop {
  double offset = 0;  // 0 to 1 along the gradient
  Color color;
  friend bool operator==(const GradientStop&, const GradientStop&) = default;
};

struct LinearGradient {
  Point start;
  Point end;
  std::vector<GradientStop> stops;
  friend bool operator==(const LinearGradient&, const LinearGradient&) = default;
};

struct RadialGradient {
  Point center;
  double radius = 0;
  std::vector<GradientStop> stops;
  friend bool operator==(const RadialGradient&, const RadialGradient&) = default;
};

using Paint = std::variant<Color, LinearGradient, RadialGradient>;

enum class LineCap { butt, round };
enum class LineJoin { miter, round };

struct Stroke {
  Stroke() = default;
  explicit Stroke(double width, LineCap cap = LineCap::butt, LineJoin join = LineJoin::miter,
                  std::vector<double> dash = {})
      : width(width), cap(cap), join(join), dash(std::move(dash)) {}

  double width = 1;
  LineCap cap = LineCap::butt;
  LineJoin join = LineJoin::miter;
  std::vector<double> dash;  // on and off lengths; empty for a solid line
  friend bool operator==(const Stroke&, const Stroke&) = default;
};

// What every view draws through: a real Cairo surface (the screen, a PNG) or
// a recording for tests. Coordinates are points in the current transform;
// geometry that is not finite is left undrawn rather than passed on.
class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual void fill(const Path& path, const Paint& paint) = 0;
  virtual void stroke(const Path& path, const Stroke& stroke, const Paint& paint) = 0;

  // The size `text` takes in `style` (its logical box, cut or wrapped as the
  // style says).
  virtual Size measure(std::string_view text, const TextStyle& style) = 0;
  // Draws `text` with the top left of its logical box at `origin`. Bytes that
  // are not UTF-8 show as U+FFFD; line breaks do not break the line.
  virtual void text(std::string_view text, Point origin, const TextStyle& style,
                    const Color& color) = 0;

  // A symbol of the platform's symbol set ("bolt.fill"), fitted and centred
  // in `box`. A symbol without a glyph is drawn as a plain rounded outline.
  virtual void icon(std::string_view symbol, const Box& box, const Color& color) = 0;

  // A bitmap (an app's icon) fitted and centred in `box` with its shape
  // kept, smoothly scaled. An invalid image draws nothing.
  virtual void image(const sys::Image& image, const Box& box) = 0;

  // Transform and clip, kept until the matching restore.
  virtual void save() = 0;
  virtual void restore() = 0;
  virtual void translate(double dx, double dy) = 0;
  virtual void rotate(double radians) = 0;
  virtual void clip(const Path& path) = 0;

  // Everything drawn until endLayer() is composed first and then laid down
  // at `opacity` as a whole.
  virtual void beginLayer(double opacity) = 0;
  virtual void endLayer() = 0;
};

// Restores the canvas when it goes out of scope.
class SavedState {
 public:
  explicit SavedState(Canvas& canvas) : canvas_(canvas) { canvas_.save(); }
  ~SavedState() { canvas_.restore(); }
  SavedState(const SavedState&) = delete;
  SavedState& operator=(const SavedState&) = delete;

 private:
  Canvas& canvas_;
};

// A layer at an opacity for the scope's lifetime; a fully opaque layer is
// not made at all.
class OpacityLayer {
 public:
  OpacityLayer(Canvas& canvas, double opacity) : canvas_(canvas), active_(!(opacity >= 1)) {
    if (active_) canvas_.beginLayer(opacity);
  }
  ~OpacityLayer() {
    if (active_) canvas_.endLayer();
  }
  OpacityLayer(const OpacityLayer&) = delete;
  OpacityLayer& operator=(const OpacityLayer&) = delete;

 private:
  Canvas& canvas_;
  bool active_;
};

}  // namespace ebbwise::ui

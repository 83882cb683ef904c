#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/canvas.h"
#include "ui/font_library.h"

typedef struct _cairo cairo_t;
typedef struct _PangoContext PangoContext;
typedef struct _PangoLayout PangoLayout;

namespace ebbwise::ui {

// Draws onto a Cairo context: shapes with Cairo, text and symbols with Pango.
// The context is borrowed and may be scaled to device pixels beforehand; the
// canvas leaves its state as it found it.
class CairoCanvas final : public Canvas {
 public:
  CairoCanvas(cairo_t* cr, const FontLibrary& fonts);
  ~CairoCanvas() override;
  CairoCanvas(const CairoCanvas&) = delete;
  CairoCanvas& operator=(const CairoCanvas&) = delete;

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

  // Closes every save and layer still open.
  void reset();

 private:
  bool addPath(const Path& path);
  void setPaint(const Paint& paint);
  PangoLayout* layoutFor(std::string_view text, const TextStyle& style);
  void fallbackIcon(const Box& box, const Color& color);

  cairo_t* cr_;
  const FontLibrary& fonts_;
  PangoContext* context_;
  struct CachedText {
    std::string text;
    TextStyle style;
    PangoLayout* layout;
    std::uint64_t used;  // when last asked for
  };
  std::vector<CachedText> texts_;  // a layout for each text drawn lately
  std::uint64_t uses_ = 0;
  PangoLayout* iconLayout_;  // symbols
  char32_t lastGlyph_ = 0;   // what iconLayout_ holds
  // Open saves (nothing) and layers (their opacity), innermost last; a
  // restore or endLayer that does not match the innermost is ignored, and
  // whatever is still open is closed when the canvas goes.
  std::vector<std::optional<double>> open_;
};

}  // namespace ebbwise::ui

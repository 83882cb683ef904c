#include "ui/cairo_canvas.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "base/utf8.h"
#include "ui/symbol_glyphs.h"

namespace ebbwise::ui {

namespace {

constexpr double kDesignSize = 64;        // symbols are laid out at this size, then scaled
constexpr std::size_t kCachedTexts = 32;  // layouts kept for texts drawn again

bool finite(Point p) {
  return std::isfinite(p.x) && std::isfinite(p.y);
}

bool finite(const Box& b) {
  return std::isfinite(b.x) && std::isfinite(b.y) && std::isfinite(b.width) &&
         std::isfinite(b.height);
}

PangoWeight pangoWeight(FontWeight weight) {
  switch (weight) {
    case FontWeight::regular:
      return PANGO_WEIGHT_NORMAL;
    case FontWeight::medium:
      return PANGO_WEIGHT_MEDIUM;
    case FontWeight::semibold:
      return PANGO_WEIGHT_SEMIBOLD;
    case FontWeight::bold:
      return PANGO_WEIGHT_BOLD;
  }
  return PANGO_WEIGHT_NORMAL;
}

// Sizes are held to a range Pango and Cairo handle well: a broken figure must
// not ask for a glyph a kilometre tall.
double fontSize(double size) {
  return std::isfinite(size) ? std::clamp(size, 1.0, 400.0) : 13.0;
}

std::string utf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

void addStops(cairo_pattern_t* pattern, const std::vector<GradientStop>& stops) {
  for (const GradientStop& s : stops) {
    Color c = s.color.clamped();
    double offset = std::isfinite(s.offset) ? std::clamp(s.offset, 0.0, 1.0) : 0.0;
    cairo_pattern_add_color_stop_rgba(pattern, offset, c.red, c.green, c.blue, c.alpha);
  }
}

}  // namespace

CairoCanvas::CairoCanvas(cairo_t* cr, const FontLibrary& fonts)
    : cr_(cr),
      fonts_(fonts),
      context_(pango_font_map_create_context(fonts.fontMap())),
      iconLayout_(nullptr) {
  // Unhinted outlines and metrics: a text is as wide at every scale, so a
  // layout measured for a PNG is the layout on screen.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(context_, options);
  cairo_font_options_destroy(options);
  // Paragraphs run left to right, as the app's own words do; a name in a
  // right-to-left script keeps its own order inside.
  pango_context_set_base_dir(context_, PANGO_DIRECTION_LTR);
  iconLayout_ = pango_layout_new(context_);
}

CairoCanvas::~CairoCanvas() {
  reset();
  g_object_unref(iconLayout_);
  for (CachedText& cached : texts_) g_object_unref(cached.layout);
  g_object_unref(context_);
}

bool CairoCanvas::addPath(const Path& path) {
  for (const Path::Element& e : path.elements()) {
    if (!finite(e.to) || (e.verb == Path::Verb::quad && !finite(e.control))) return false;
  }
  cairo_new_path(cr_);
  Point current;
  for (const Path::Element& e : path.elements()) {
    switch (e.verb) {
      case Path::Verb::move:
        cairo_move_to(cr_, e.to.x, e.to.y);
        current = e.to;
        break;
      case Path::Verb::line:
        cairo_line_to(cr_, e.to.x, e.to.y);
        current = e.to;
        break;
      case Path::Verb::quad: {
        // Cairo has cubic curves only; this cubic traces the quadratic exactly.
        double c1x = current.x + 2.0 / 3 * (e.control.x - current.x);
        double c1y = current.y + 2.0 / 3 * (e.control.y - current.y);
        double c2x = e.to.x + 2.0 / 3 * (e.control.x - e.to.x);
        double c2y = e.to.y + 2.0 / 3 * (e.control.y - e.to.y);
        cairo_curve_to(cr_, c1x, c1y, c2x, c2y, e.to.x, e.to.y);
        current = e.to;
        break;
      }
      case Path::Verb::close:
        cairo_close_path(cr_);
        break;
    }
  }
  return true;
}

void CairoCanvas::setPaint(const Paint& paint) {
  if (const Color* c = std::get_if<Color>(&paint)) {
    Color k = c->clamped();
    cairo_set_source_rgba(cr_, k.red, k.green, k.blue, k.alpha);
    return;
  }
  cairo_pattern_t* pattern = nullptr;
  if (const auto* g = std::get_if<LinearGradient>(&paint)) {
    pattern = cairo_pattern_create_linear(g->start.x, g->start.y, g->end.x, g->end.y);
    addStops(pattern, g->stops);
  } else if (const auto* r = std::get_if<RadialGradient>(&paint)) {
    pattern = cairo_pattern_create_radial(r->center.x, r->center.y, 0, r->center.x, r->center.y,
                                          std::max(r->radius, 0.0));
    addStops(pattern, r->stops);
  }
  cairo_set_source(cr_, pattern);
  cairo_pattern_destroy(pattern);
}

void CairoCanvas::fill(const Path& path, const Paint& paint) {
  if (!addPath(path)) return;
  setPaint(paint);
  cairo_fill(cr_);
}

void CairoCanvas::stroke(const Path& path, const Stroke& stroke, const Paint& paint) {
  if (!addPath(path) || !(stroke.width > 0) || !std::isfinite(stroke.width)) return;
  setPaint(paint);
  cairo_set_line_width(cr_, stroke.width);
  cairo_set_line_cap(cr_,
                     stroke.cap == LineCap::round ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_BUTT);
  cairo_set_line_join(
      cr_, stroke.join == LineJoin::round ? CAIRO_LINE_JOIN_ROUND : CAIRO_LINE_JOIN_MITER);
  bool dashed = !stroke.dash.empty() &&
                std::all_of(stroke.dash.begin(), stroke.dash.end(),
                            [](double d) { return std::isfinite(d) && d >= 0; }) &&
                std::any_of(stroke.dash.begin(), stroke.dash.end(), [](double d) { return d > 0; });
  cairo_set_dash(cr_, dashed ? stroke.dash.data() : nullptr,
                 dashed ? static_cast<int>(stroke.dash.size()) : 0, 0);
  cairo_stroke(cr_);
  cairo_set_dash(cr_, nullptr, 0, 0);
}

PangoLayout* CairoCanvas::layoutFor(std::string_view text, const TextStyle& style) {
  // Layouts follow the context on their own; each text and style keeps its
  // own, so frame after frame of the same labels lays nothing out again.
  pango_cairo_update_context(cr_, context_);
  ++uses_;
  for (CachedText& cached : texts_) {
    if (cached.text == text && cached.style == style) {
      cached.used = uses_;
      return cached.layout;
    }
  }
  PangoLayout* layout = nullptr;
  if (texts_.size() < kCachedTexts) {
    layout = pango_layout_new(context_);
    pango_layout_set_auto_dir(layout, FALSE);
    texts_.push_back({std::string(text), style, layout, uses_});
  } else {
    auto oldest = std::min_element(texts_.begin(), texts_.end(),
                                   [](const auto& a, const auto& b) { return a.used < b.used; });
    layout = oldest->layout;
    *oldest = {std::string(text), style, layout, uses_};
  }

  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, fonts_.families().text.c_str());
  pango_font_description_set_weight(font, pangoWeight(style.weight));
  pango_font_description_set_absolute_size(font, fontSize(style.size) * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);

  PangoAttrList* attributes = pango_attr_list_new();
  if (style.monospacedDigits) {
    pango_attr_list_insert(attributes, pango_attr_font_features_new("tnum 1"));
  }
  pango_layout_set_attributes(layout, attributes);
  pango_attr_list_unref(attributes);

  auto width = [](double w) {
    return static_cast<int>(std::clamp(w, 1.0, 100'000.0) * PANGO_SCALE);
  };
  pango_layout_set_single_paragraph_mode(layout, TRUE);
  if (style.wrapWidth && std::isfinite(*style.wrapWidth)) {
    pango_layout_set_width(layout, width(*style.wrapWidth));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_NONE);
  } else if (style.maxWidth && std::isfinite(*style.maxWidth)) {
    pango_layout_set_width(layout, width(*style.maxWidth));
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  } else {
    pango_layout_set_width(layout, -1);
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_NONE);
  }
  std::string valid = Utf8::decode(text);
  // Pango stops at a NUL byte; a name with one shows up to it.
  pango_layout_set_text(layout, valid.c_str(), -1);
  return layout;
}

Size CairoCanvas::measure(std::string_view text, const TextStyle& style) {
  PangoLayout* layout = layoutFor(text, style);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  return Size{static_cast<double>(logical.width) / PANGO_SCALE,
              static_cast<double>(logical.height) / PANGO_SCALE};
}

void CairoCanvas::text(std::string_view text, Point origin, const TextStyle& style,
                       const Color& color) {
  if (!finite(origin)) return;
  PangoLayout* layout = layoutFor(text, style);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  Color c = color.clamped();
  cairo_set_source_rgba(cr_, c.red, c.green, c.blue, c.alpha);
  // The logical box may start left of the layout's origin; move it so its
  // top left lands on `origin`.
  cairo_move_to(cr_, origin.x - static_cast<double>(logical.x) / PANGO_SCALE,
                origin.y - static_cast<double>(logical.y) / PANGO_SCALE);
  pango_cairo_show_layout(cr_, layout);
  cairo_new_path(cr_);
}

void CairoCanvas::icon(std::string_view symbol, const Box& box, const Color& color) {
  if (!finite(box) || !(box.width > 0) || !(box.height > 0)) return;
  std::optional<SymbolGlyph> glyph = SymbolGlyphs::find(symbol);
  if (!glyph || !fonts_.hasSymbolFont()) return fallbackIcon(box, color);

  pango_cairo_update_context(cr_, context_);
  if (lastGlyph_ != glyph->codePoint) {
    lastGlyph_ = glyph->codePoint;
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, fonts_.families().symbols.c_str());
    // Set large, then scaled so the glyph's ink (turned as the table says)
    // fills the box: symbols of the font differ in how much of their design
    // square they cover, and the box is what the view means.
    pango_font_description_set_absolute_size(font, kDesignSize * PANGO_SCALE);
    pango_layout_set_font_description(iconLayout_, font);
    pango_font_description_free(font);
    pango_layout_set_text(iconLayout_, utf8(glyph->codePoint).c_str(), -1);
  }
  PangoRectangle ink;
  pango_layout_get_extents(iconLayout_, &ink, nullptr);
  if (pango_layout_get_unknown_glyphs_count(iconLayout_) > 0 || ink.width <= 0 || ink.height <= 0)
    return fallbackIcon(box, color);

  double w = static_cast<double>(ink.width) / PANGO_SCALE;
  double h = static_cast<double>(ink.height) / PANGO_SCALE;
  double x = static_cast<double>(ink.x) / PANGO_SCALE;
  double y = static_cast<double>(ink.y) / PANGO_SCALE;
  bool sideways = glyph->quarterTurns % 2 != 0;
  double scale = std::min(box.width / (sideways ? h : w), box.height / (sideways ? w : h));
  Color c = color.clamped();
  cairo_save(cr_);
  cairo_translate(cr_, box.midX(), box.midY());
  cairo_rotate(cr_, glyph->quarterTurns * M_PI / 2);
  cairo_scale(cr_, scale, scale);
  cairo_move_to(cr_, -x - w / 2, -y - h / 2);
  cairo_set_source_rgba(cr_, c.red, c.green, c.blue, c.alpha);
  if (glyph->outline) {
    pango_cairo_layout_path(cr_, iconLayout_);
    cairo_set_line_width(cr_, kDesignSize / 14);
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr_);
  } else {
    pango_cairo_show_layout(cr_, iconLayout_);
  }
  cairo_restore(cr_);
  cairo_new_path(cr_);
}

void CairoCanvas::image(const sys::Image& image, const Box& box) {
  if (!finite(box) || !(box.width > 0) || !(box.height > 0) || !image.isValid()) return;
  // The pixels are already Cairo's ARGB32 words, rows without padding; the
  // surface only reads them, and is gone before this returns.
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, image.width);
  if (stride != image.width * 4) return;
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(image.pixels.data())),
      CAIRO_FORMAT_ARGB32, image.width, image.height, stride);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return;
  }
  const double scale = std::min(box.width / image.width, box.height / image.height);
  const double w = image.width * scale, h = image.height * scale;
  cairo_save(cr_);
  cairo_translate(cr_, box.midX() - w / 2, box.midY() - h / 2);
  cairo_scale(cr_, scale, scale);
  cairo_set_source_surface(cr_, surface, 0, 0);
  // GOOD averages every source pixel a shrunk pixel covers, so a large
  // icon drawn small stays smooth instead of sparkling.
  cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_GOOD);
  cairo_rectangle(cr_, 0, 0, image.width, image.height);
  cairo_fill(cr_);
  cairo_restore(cr_);
  cairo_surface_destroy(surface);
}

void CairoCanvas::fallbackIcon(const Box& box, const Color& color) {
  double side = std::min(box.width, box.height);
  Box square{box.midX() - side / 2, box.midY() - side / 2, side, side};
  double line = std::max(side / 12, 0.75);
  stroke(Path::roundedRect(square.insetBy(side * 0.15, side * 0.15), side * 0.18),
         Stroke(line, LineCap::round, LineJoin::round), color);
}

void CairoCanvas::reset() {
  while (!open_.empty()) open_.back() ? endLayer() : restore();
}

void CairoCanvas::save() {
  cairo_save(cr_);
  open_.push_back(std::nullopt);
}

void CairoCanvas::restore() {
  if (open_.empty() || open_.back()) return;
  cairo_restore(cr_);
  open_.pop_back();
}

void CairoCanvas::translate(double dx, double dy) {
  if (std::isfinite(dx) && std::isfinite(dy)) cairo_translate(cr_, dx, dy);
}

void CairoCanvas::rotate(double radians) {
  if (std::isfinite(radians)) cairo_rotate(cr_, radians);
}

void CairoCanvas::clip(const Path& path) {
  if (addPath(path)) cairo_clip(cr_);
}

void CairoCanvas::beginLayer(double opacity) {
  cairo_save(cr_);
  cairo_push_group(cr_);
  open_.push_back(std::isnan(opacity) ? 0.0 : std::clamp(opacity, 0.0, 1.0));
}

void CairoCanvas::endLayer() {
  if (open_.empty() || !open_.back()) return;
  cairo_pop_group_to_source(cr_);
  cairo_paint_with_alpha(cr_, *open_.back());
  open_.pop_back();
  cairo_restore(cr_);
}

}  // namespace ebbwise::ui

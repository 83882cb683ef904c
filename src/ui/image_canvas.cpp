#include "ui/image_canvas.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ebbwise::ui {

namespace {

// Pictures larger than this on a side are refused (drawn as 1 × 1): a broken
// size must not ask for gigabytes.
constexpr int kLargestSide = 16'384;

int pixels(double points, double scale) {
  double p = std::ceil(points * scale);
  if (!std::isfinite(p)) return 1;
  return static_cast<int>(std::clamp(p, 1.0, static_cast<double>(kLargestSide)));
}

}  // namespace

ImageCanvas::ImageCanvas(Size points, double scale, const FontLibrary& fonts,
                         std::optional<Color> background)
    : ImageCanvas(pixels(points.width, scale), pixels(points.height, scale), scale, fonts,
                  background) {}

ImageCanvas::ImageCanvas(int pixelWidth, int pixelHeight, double scale, const FontLibrary& fonts,
                         std::optional<Color> background)
    : width_(std::clamp(pixelWidth, 1, kLargestSide)),
      height_(std::clamp(pixelHeight, 1, kLargestSide)),
      scale_(std::isfinite(scale) && scale > 0 ? scale : 1),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_)),
      cr_(cairo_create(surface_)) {
  if (background) {
    Color c = background->clamped();
    cairo_set_source_rgba(cr_, c.red, c.green, c.blue, c.alpha);
    cairo_paint(cr_);
  }
  cairo_scale(cr_, scale_, scale_);
  canvas_ = std::make_unique<CairoCanvas>(cr_, fonts);
}

void ImageCanvas::clear() {
  canvas_->reset();
  cairo_identity_matrix(cr_);
  cairo_save(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr_);
  cairo_restore(cr_);
  cairo_scale(cr_, scale_, scale_);
}

ImageCanvas::~ImageCanvas() {
  canvas_.reset();
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

const std::uint8_t* ImageCanvas::data() {
  cairo_surface_flush(surface_);
  return cairo_image_surface_get_data(surface_);
}

int ImageCanvas::stride() const {
  return cairo_image_surface_get_stride(surface_);
}

Color ImageCanvas::pixel(int x, int y) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return Color::clear();
  std::uint32_t word;
  std::memcpy(&word, data() + y * stride() + x * 4, 4);
  double a = (word >> 24) / 255.0;
  if (a == 0) return Color::clear();
  return Color{((word >> 16) & 0xFF) / 255.0 / a, ((word >> 8) & 0xFF) / 255.0 / a,
               (word & 0xFF) / 255.0 / a, a}
      .clamped();
}

std::optional<std::string> ImageCanvas::writePng(const std::string& path) {
  cairo_surface_flush(surface_);
  cairo_status_t status = cairo_surface_write_to_png(surface_, path.c_str());
  if (status == CAIRO_STATUS_SUCCESS) return std::nullopt;
  return "Can't write the picture to " + path + ": " + cairo_status_to_string(status) + ".";
}

}  // namespace ebbwise::ui

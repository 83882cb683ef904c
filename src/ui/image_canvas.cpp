#include "ui/image_canvas.h"

#include <cairo.h>
#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

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

namespace {

// Writes straight rows of RGBA to `file` through libpng. Kept free of
// objects with destructors: libpng reports errors by a long jump back here.
const char* encodePng(FILE* file, int width, int height, std::uint8_t** rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return "out of memory";
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return "out of memory";
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return "the disk refused the data";
  }
  png_init_io(png, file);
  // The fastest compression with the filter that suits flat, drawn pictures:
  // several times quicker than the default for a file a little larger.
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return nullptr;
}

}  // namespace

std::optional<std::string> ImageCanvas::writePng(const std::string& path) {
  const std::uint8_t* pixels = data();
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width_) * height_ * 4);
  std::vector<std::uint8_t*> rows(static_cast<std::size_t>(height_));
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* out = rgba.data() + static_cast<std::size_t>(y) * width_ * 4;
    rows[static_cast<std::size_t>(y)] = out;
    for (int x = 0; x < width_; ++x, out += 4) {
      std::uint32_t argb;
      std::memcpy(&argb, pixels + y * stride() + x * 4, 4);
      std::uint32_t a = argb >> 24;
      if (a == 0) {
        out[0] = out[1] = out[2] = out[3] = 0;
        continue;
      }
      // Cairo keeps colours premultiplied by their opacity; PNG does not.
      out[0] = static_cast<std::uint8_t>((((argb >> 16) & 0xFF) * 255 + a / 2) / a);
      out[1] = static_cast<std::uint8_t>((((argb >> 8) & 0xFF) * 255 + a / 2) / a);
      out[2] = static_cast<std::uint8_t>(((argb & 0xFF) * 255 + a / 2) / a);
      out[3] = static_cast<std::uint8_t>(a);
    }
  }
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return "Can't write the picture to " + path + ": " + std::strerror(errno) + ".";
  const char* failure = encodePng(file, width_, height_, rows.data());
  if (std::fclose(file) != 0 && !failure) failure = "the disk refused the data";
  if (!failure) return std::nullopt;
  std::remove(path.c_str());
  return "Can't write the picture to " + path + ": " + failure + ".";
}

}  // namespace ebbwise::ui

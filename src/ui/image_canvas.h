#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ui/cairo_canvas.h"

typedef struct _cairo_surface cairo_surface_t;

namespace ebbwise::ui {

// A picture in memory to draw on: width × height points at `scale` pixels
// per point, transparent or filled with a background. Writes itself as PNG.
class ImageCanvas {
 public:
  ImageCanvas(Size points, double scale, const FontLibrary& fonts,
              std::optional<Color> background = std::nullopt);
  // Exactly `pixelWidth` × `pixelHeight` pixels, drawn at `scale` pixels a point.
  ImageCanvas(int pixelWidth, int pixelHeight, double scale, const FontLibrary& fonts,
              std::optional<Color> background = std::nullopt);
  ~ImageCanvas();
  ImageCanvas(const ImageCanvas&) = delete;
  ImageCanvas& operator=(const ImageCanvas&) = delete;

  Canvas& canvas() { return *canvas_; }
  // Clears the picture (to transparent) and the canvas's transform, to draw
  // the next frame on the same memory.
  void clear();
  int pixelWidth() const { return width_; }
  int pixelHeight() const { return height_; }

  // The pixel at (x, y) in pixels, not premultiplied; clear outside.
  Color pixel(int x, int y);
  // The pixels as Cairo keeps them: premultiplied ARGB, native-endian words,
  // `stride` bytes per row.
  const std::uint8_t* data();
  int stride() const;

  // Nothing when written, else why not ("Can't write the picture to …: …").
  std::optional<std::string> writePng(const std::string& path);

 private:
  int width_;
  int height_;
  double scale_;
  cairo_surface_t* surface_;
  cairo_t* cr_;
  std::unique_ptr<CairoCanvas> canvas_;
};

}  // namespace ebbwise::ui

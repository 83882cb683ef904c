#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ebbwise::sys {

// A bitmap as the platform hands one over (one representation of an
// NSImage): `width` × `height` pixels, row by row from the top, each a
// native-endian 32-bit word 0xAARRGGBB with the colour premultiplied by
// its alpha — the layout Cairo's ARGB32 surfaces use, so a view can paint
// it without converting.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // width × height words

  Image() = default;
  // A clear image of the size; a size below 1 gives an empty one.
  Image(int w, int h)
      : width(w > 0 && h > 0 ? w : 0),
        height(w > 0 && h > 0 ? h : 0),
        pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0) {}

  // Whether the pixels cover the size; an image that is not is never drawn.
  bool isValid() const {
    return width > 0 && height > 0 &&
           pixels.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  }
  std::uint32_t at(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }

  friend bool operator==(const Image&, const Image&) = default;
};

}  // namespace ebbwise::sys

#pragma once

#include <optional>
#include <vector>

#include "accounting/series_color_choice.h"
#include "sys/image.h"

namespace ebbwise {

// Reading an icon's colours: the icon brought to a small size, each pixel
// as hue, saturation, brightness and alpha, and the hue that dominates.
namespace IconPixels {

// The side of the rendering the dominant hue is read from.
inline constexpr int kHueSize = 32;

// `image` stretched to `width` × `height`, each pixel the area-weighted mean
// of the source pixels it covers; an empty image when either is invalid.
sys::Image scaled(const sys::Image& image, int width, int height);

// Every pixel as hue, saturation, brightness and alpha (0 to 1), the colour
// taken without its alpha premultiplied in.
std::vector<SeriesColorChoice::Pixel> hsba(const sys::Image& image);

// The dominant hue of the icon's 32 × 32 rendering; nothing for a grey,
// clear or invalid image.
std::optional<double> dominantHue(const sys::Image& image);

}  // namespace IconPixels

}  // namespace ebbwise

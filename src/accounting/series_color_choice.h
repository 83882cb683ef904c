#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <span>

namespace ebbwise {

// Chooses chart colour slots, preferring the slot whose hue matches the
// app's icon so that a line looks like the app it stands for.
namespace SeriesColorChoice {

// One pixel as hue, saturation, brightness and alpha, each 0 to 1.
struct Pixel {
  double h = 0;
  double s = 0;
  double b = 0;
  double a = 0;
};

// The saturation-weighted mean hue of the most colourful twelfth of the hue
// circle, counting only opaque, saturated, bright pixels; nothing for an
// image without colour. Pixels with components outside 0…1 (or NaN) are not
// colours and are passed over.
std::optional<double> dominantHue(std::span<const Pixel> pixels);

// A free slot (an index into `slotHues` not in `taken`): with an icon hue the
// one nearest on the hue circle (the lowest index among equals); without,
// the first free slot of `neutralOrder`, else the lowest free one. Nothing
// when every slot is taken.
std::optional<std::size_t> slot(std::optional<double> iconHue, std::span<const double> slotHues,
                                const std::set<std::size_t>& taken,
                                std::span<const std::size_t> neutralOrder);

}  // namespace SeriesColorChoice

}  // namespace ebbwise

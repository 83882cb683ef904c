#pragma once

#include <array>
#include <cstdint>

namespace ebbwise {

// The colours of the chart's series, shared by everything that colours a
// row, so an app keeps its colour everywhere.
namespace SeriesPalette {

// The palette as 0xRRGGBB, slot 0 first.
inline constexpr std::array<std::uint32_t, 6> rgb = {0x3987E5, 0xD95926, 0x199E70,
                                                     0xC98500, 0xD55181, 0x008300};

// Each slot's hue, 0 to 1 (what icon hues are matched against when slots are
// handed out).
std::array<double, 6> hues();

}  // namespace SeriesPalette

}  // namespace ebbwise

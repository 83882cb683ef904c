#pragma once

#include <cstdint>
#include <string_view>

#include "sys/image.h"

namespace ebbwise::sim {

// The icons the simulated desktop shows, painted pixel by pixel so they are
// the same on every machine: an application's tile (a rounded square with
// a top-to-bottom gradient of its colour and a pale mark), a grey tile for
// an application without a colour, and a page for any other file.
namespace AppIconArt {

// Pixels a side: enough for a row icon at twice its size in points.
inline constexpr int kSize = 64;

// The shapes an application's mark may take.
enum class Mark { disc, ring, diamond, bars };

// An application's tile in `rgb` (0xRRGGBB) with `mark` on it.
sys::Image appIcon(std::uint32_t rgb, Mark mark, int size = kSize);
// The tile of an application whose colour is not known: grey, no hue.
sys::Image genericAppIcon(int size = kSize);
// A plain white page with a folded corner.
sys::Image documentIcon(int size = kSize);

// A colour and a mark that follow from an application's identifier (or its
// name), so every application looks the same from run to run and different
// applications mostly differ.
std::uint32_t colorFor(std::string_view identity);
Mark markFor(std::string_view identity);

}  // namespace AppIconArt

}  // namespace ebbwise::sim

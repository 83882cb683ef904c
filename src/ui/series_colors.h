#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/color.h"

namespace ebbwise::ui {

// The colours of the chart's series, shared by the chart, the since-charge
// bars and the app list so an app keeps its colour everywhere.
namespace SeriesColors {

// The palette as 0xRRGGBB, slot 0 first.
inline constexpr std::array<std::uint32_t, 6> rgb = {0x3987E5, 0xD95926, 0x199E70,
                                                     0xC98500, 0xD55181, 0x008300};

std::array<Color, 6> all();
// Each palette colour's hue, 0 to 1, in slot order (what icon hues are
// matched against when slots are handed out).
std::array<double, 6> hues();
// The colour of `slot` (counted modulo the palette); nothing without a slot.
std::optional<Color> color(std::optional<int> slot);

// The colour a row is drawn in: the assistant's sessions share its desktop
// app's; rows not charted have none.
std::optional<Color> forRow(std::string_view row, const std::vector<std::string>& chartedRows,
                            const std::map<std::string, int>& seriesSlot);

}  // namespace SeriesColors

}  // namespace ebbwise::ui

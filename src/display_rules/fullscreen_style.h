#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "display_rules/rect.h"

namespace ebbwise {

// What the notch display does while a fullscreen window covers the screen.
enum class FullscreenStyle { dim, hide };

inline constexpr std::array<FullscreenStyle, 2> allFullscreenStyles = {FullscreenStyle::dim,
                                                                       FullscreenStyle::hide};

// The stored setting: "Dim", "Hide".
std::string_view rawValue(FullscreenStyle style);
// Nothing for a string that names no style.
std::optional<FullscreenStyle> fullscreenStyleFromRawValue(std::string_view raw);

// The notch display's opacity under a fullscreen window.
double opacity(FullscreenStyle style);

namespace FullscreenWindow {

// Whether some window covers the whole screen, give or take `tolerance`
// points on each side.
bool covers(const Rect& screen, std::span<const Rect> windows, double tolerance);

}  // namespace FullscreenWindow

}  // namespace ebbwise

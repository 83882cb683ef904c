#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace ebbwise {

// What the optional menu-bar item shows while on battery.
enum class MenuBarStyle { watts, timeLeft, percent };

inline constexpr std::array<MenuBarStyle, 3> allMenuBarStyles = {
    MenuBarStyle::watts, MenuBarStyle::timeLeft, MenuBarStyle::percent};

// The stored setting and the style's title: "Watts", "Time left", "Percent".
std::string_view rawValue(MenuBarStyle style);
// Nothing for a string that names no style (the match is exact).
std::optional<MenuBarStyle> menuBarStyleFromRawValue(std::string_view raw);

}  // namespace ebbwise

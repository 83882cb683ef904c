#include "app/menu_bar_style.h"

namespace ebbwise {

std::string_view rawValue(MenuBarStyle style) {
  switch (style) {
    case MenuBarStyle::watts:
      return "Watts";
    case MenuBarStyle::timeLeft:
      return "Time left";
    case MenuBarStyle::percent:
      return "Percent";
  }
  return "Watts";
}

std::optional<MenuBarStyle> menuBarStyleFromRawValue(std::string_view raw) {
  for (MenuBarStyle style : allMenuBarStyles) {
    if (rawValue(style) == raw) return style;
  }
  return std::nullopt;
}

}  // namespace ebbwise

#pragma once

#include <string>
#include <vector>

#include "ui/panel_input.h"

namespace ebbwise::ui {

// One entry of a panel's settings menu.
struct MenuItem {
  enum class Kind { toggle, picker, section, text, button, divider };
  Kind kind = Kind::text;
  std::string title;
  std::string action;  // what choosing it does; empty for plain text
  bool on = false;     // toggles
  bool enabled = true;
  std::vector<std::string> choices;  // pickers
  int chosen = -1;
  friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

// The settings menus of the two panels, in their order.
namespace PanelMenu {

// Actions the menus ask for.
inline constexpr const char* alertsOn = "alertsOn";
inline constexpr const char* alertWatts = "alertWatts";
inline constexpr const char* measure = "measure";
inline constexpr const char* lineTheme = "lineTheme";
inline constexpr const char* fullscreenStyle = "fullscreenStyle";
inline constexpr const char* showInMenuBar = "showInMenuBar";
inline constexpr const char* demoNotch = "demoNotch";
inline constexpr const char* launchAtLogin = "launchAtLogin";
inline constexpr const char* menuBarStyle = "menuBarStyle";
inline constexpr const char* checkForUpdates = "checkForUpdates";
inline constexpr const char* quit = "quit";

// The alert thresholds offered, in watts.
inline constexpr double alertChoices[] = {1, 2, 3, 5};

std::vector<MenuItem> notchSettings(const PanelInput& input);
std::vector<MenuItem> menuBarSettings(const PanelInput& input);

}  // namespace PanelMenu

}  // namespace ebbwise::ui

#include "ui/panel_menu.h"

#include <cmath>
#include <iterator>

#include "ui/panel_wording.h"

namespace ebbwise::ui {

namespace PanelMenu {

namespace {

MenuItem toggle(std::string title, const char* action, bool on) {
  return MenuItem{MenuItem::Kind::toggle, std::move(title), action, on, true, {}, -1};
}

MenuItem picker(std::string title, const char* action, std::vector<std::string> choices, int chosen,
                bool enabled = true) {
  return MenuItem{
      MenuItem::Kind::picker, std::move(title), action, false, enabled, std::move(choices), chosen};
}

MenuItem divider() {
  return MenuItem{MenuItem::Kind::divider, {}, {}, false, true, {}, -1};
}

MenuItem plain(MenuItem::Kind kind, std::string title, std::string action = {},
               bool enabled = true) {
  return MenuItem{kind, std::move(title), std::move(action), false, enabled, {}, -1};
}

MenuItem alertsToggle(const PanelInput& input) {
  return toggle("Warn about apps draining the battery", alertsOn, input.settings.alertsOn);
}

// A threshold that is not one of the choices shows no choice as taken.
MenuItem alertPicker(const PanelInput& input) {
  std::vector<std::string> choices;
  int chosen = -1;
  for (std::size_t i = 0; i < std::size(alertChoices); ++i) {
    choices.push_back(PanelWording::figure("%.0f W", alertChoices[i]));
    if (std::abs(input.settings.alertWatts - alertChoices[i]) < 1e-9) chosen = static_cast<int>(i);
  }
  return picker("Warn above", alertWatts, std::move(choices), chosen, input.settings.alertsOn);
}

}  // namespace

std::vector<MenuItem> notchSettings(const PanelInput& input) {
  const PanelSettings& s = input.settings;
  std::vector<MenuItem> items;
  items.push_back(alertsToggle(input));
  items.push_back(alertPicker(input));
  items.push_back(plain(MenuItem::Kind::section, "Measured on this Mac"));
  items.push_back(
      plain(MenuItem::Kind::text, PanelWording::screenLine(input.calibration, input.brightness)));
  items.push_back(plain(MenuItem::Kind::text, PanelWording::speakersLine(input.calibration)));
  // While a run is under way the button keeps its title but cannot be chosen.
  PanelCalibration idle = input.calibration;
  idle.isCalibrating = false;
  items.push_back(plain(MenuItem::Kind::button, PanelWording::measureTitle(idle), measure,
                        !input.calibration.isCalibrating));
  items.push_back(picker("Line colors", lineTheme,
                         {"Battery (green to red)", "Bolt (blue to pink)"},
                         s.lineTheme == LineTheme::mana ? 1 : 0));
  items.push_back(picker("In fullscreen", fullscreenStyle,
                         {"Dim the notch line", "Hide the notch line"},
                         s.fullscreenStyle == FullscreenStyle::hide ? 1 : 0));
  items.push_back(toggle("Also show in menu bar", showInMenuBar, s.showInMenuBar));
  items.push_back(toggle("Show notch in recordings (for demos)", demoNotch, s.demoNotch));
  items.push_back(toggle("Open at login", launchAtLogin, s.launchAtLogin));
  items.push_back(divider());
  items.push_back(plain(MenuItem::Kind::button, "Check for Updates\u2026", checkForUpdates));
  items.push_back(plain(MenuItem::Kind::button, "Quit Ebbwise", quit));
  return items;
}

std::vector<MenuItem> menuBarSettings(const PanelInput& input) {
  const PanelSettings& s = input.settings;
  std::vector<MenuItem> items;
  if (s.hasNotch) items.push_back(toggle("Also show in menu bar", showInMenuBar, s.showInMenuBar));
  items.push_back(
      picker("Menu bar shows", menuBarStyle, {"Time left", "Percent", "Watts"}, s.menuBarStyle));
  items.push_back(alertsToggle(input));
  items.push_back(alertPicker(input));
  items.push_back(toggle("Open at login", launchAtLogin, s.launchAtLogin));
  items.push_back(toggle("Show notch in recordings (for demos)", demoNotch, s.demoNotch));
  items.push_back(plain(MenuItem::Kind::button, "Quit", quit));
  return items;
}

}  // namespace PanelMenu

}  // namespace ebbwise::ui

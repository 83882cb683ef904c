#include "face/panel_actions.h"

#include <iterator>

#include "face/panel_inputs.h"
#include "ui/panel_menu.h"
#include "ui/panel_view.h"

namespace ebbwise {

namespace PanelActions {

namespace {

bool chose(const ui::PanelHotspot& h, int count) {
  return h.choice >= 0 && h.choice < count;
}

}  // namespace

Outcome perform(AppStartup& app, const ui::PanelHotspot& h, ui::PanelUiState& ui) {
  namespace Menu = ui::PanelMenu;
  Monitor& monitor = app.monitor();
  const MonitorSettings& s = monitor.settings();
  const std::string& a = h.action;
  if (a == "menu") {
    ui.menuOpen = !ui.menuOpen;
  } else if (a == Menu::alertsOn) {
    monitor.setAlertsOn(!s.alertsOn);
  } else if (a == Menu::alertWatts && chose(h, static_cast<int>(std::size(Menu::alertChoices)))) {
    monitor.setAlertWatts(Menu::alertChoices[h.choice]);
  } else if (a == Menu::measure) {
    monitor.hardware().requestCalibration();
  } else if (a == "calibrate") {
    monitor.hardware().calibrateScreen();
  } else if (a == "notNow") {
    monitor.hardware().declineCalibration();
  } else if (a == Menu::lineTheme && chose(h, 2)) {
    monitor.setLineTheme(h.choice == 1 ? LineTheme::mana : LineTheme::battery);
  } else if (a == Menu::fullscreenStyle && chose(h, 2)) {
    monitor.setFullscreenStyle(h.choice == 1 ? FullscreenStyle::hide : FullscreenStyle::dim);
  } else if (a == Menu::menuBarStyle && chose(h, 3)) {
    static constexpr MenuBarStyle styles[] = {MenuBarStyle::timeLeft, MenuBarStyle::percent,
                                              MenuBarStyle::watts};
    monitor.setMenuBarStyle(styles[h.choice]);
  } else if (a == Menu::showInMenuBar) {
    monitor.setShowInMenuBar(!s.showInMenuBar);
  } else if (a == Menu::demoNotch) {
    monitor.setDemoNotch(!s.demoNotch);
  } else if (a == Menu::launchAtLogin) {
    monitor.setLaunchAtLogin(!monitor.launchAtLogin());
  } else if (a == "keepIt") {
    monitor.hideBatteryIconTip();
  } else if (a == "openBatterySettings") {
    monitor.openBatteryIconSettings();
    monitor.hideBatteryIconTip();
  } else if (a == "lowPower") {
    monitor.setLowPower(!monitor.lowPowerOn);
  } else if (a == "stop" && !h.row.empty()) {
    // A second click on a row whose stop went unheeded kills.
    monitor.stop(h.row, PanelInputs::stopUnderWay(monitor, h.row));
  } else if (a == ui::PanelView::rangeAction &&
             chose(h, static_cast<int>(allHistoryRanges.size()))) {
    monitor.setRange(allHistoryRanges[h.choice]);
  } else if (a == Menu::quit) {
    return Outcome::quit;
  } else if (a == Menu::checkForUpdates) {
    if (!app.checkForUpdates()) return Outcome::ignored;
  } else {
    return Outcome::ignored;
  }
  return Outcome::done;
}

}  // namespace PanelActions

}  // namespace ebbwise

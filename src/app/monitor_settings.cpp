#include "app/monitor_settings.h"

#include <cmath>

namespace ebbwise {

MonitorSettings MonitorSettings::load(sys::UserDefaults& defaults) {
  MonitorSettings s;
  s.showInMenuBar = defaults.boolValue(kShowInMenuBar);
  if (auto raw = defaults.stringValue(kPowerUnit)) {
    s.unit = powerUnitFromRawValue(*raw).value_or(s.unit);
  }
  if (auto raw = defaults.stringValue(kLineTheme)) {
    s.lineTheme = lineThemeFromRawValue(*raw).value_or(s.lineTheme);
  }
  if (auto raw = defaults.stringValue(kFullscreenStyle)) {
    s.fullscreenStyle = fullscreenStyleFromRawValue(*raw).value_or(s.fullscreenStyle);
  }
  s.demoNotch = defaults.boolValue(kDemoNotch);
  s.batteryIconTipDone = defaults.boolValue(kBatteryIconTipDone);
  if (auto raw = defaults.stringValue(kMenuBarStyle)) {
    s.menuBarStyle = menuBarStyleFromRawValue(*raw).value_or(s.menuBarStyle);
  }
  if (auto stored = defaults.object(kAlertsOn)) {
    if (auto on = sys::asBool(&*stored)) s.alertsOn = *on;
  }
  if (auto stored = defaults.object(kAlertWatts)) {
    // A boolean is not a threshold, even where the platform would read it as 1.
    if (stored->is_number()) {
      const double watts = stored->get<double>();
      if (isUsableThreshold(watts)) s.alertWatts = watts;
    }
  }
  return s;
}

bool MonitorSettings::isUsableThreshold(double watts) {
  return std::isfinite(watts) && watts > 0;
}

}  // namespace ebbwise

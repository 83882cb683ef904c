#pragma once

#include "app/menu_bar_style.h"
#include "display_rules/fullscreen_style.h"
#include "display_rules/line_theme.h"
#include "display_rules/power_format.h"
#include "sys/user_defaults.h"

namespace ebbwise {

// The user's choices, as kept in the user-defaults store. Every setting has
// a default, and a stored value of the wrong type or outside what the
// setting accepts reads as that default, so a damaged store never changes
// how the monitor behaves beyond resetting a choice.
struct MonitorSettings {
  static constexpr const char* kShowInMenuBar = "showInMenuBar";
  static constexpr const char* kMenuBarItemVisible = "menuBarItemVisible";
  static constexpr const char* kPowerUnit = "powerUnit";
  static constexpr const char* kLineTheme = "lineTheme";
  static constexpr const char* kFullscreenStyle = "fullscreenStyle";
  static constexpr const char* kMenuBarStyle = "menuBarStyle";
  static constexpr const char* kDemoNotch = "demoNotch";
  static constexpr const char* kBatteryIconTipDone = "onboarding.batteryIconTipDone";
  static constexpr const char* kAlertsOn = "alertsOn";
  static constexpr const char* kAlertWatts = "alertWatts";

  static constexpr double kDefaultAlertWatts = 2.0;

  bool showInMenuBar = false;
  PowerUnit unit = PowerUnit::percentPerHour;
  LineTheme lineTheme = LineTheme::battery;
  FullscreenStyle fullscreenStyle = FullscreenStyle::dim;
  MenuBarStyle menuBarStyle = MenuBarStyle::watts;
  bool demoNotch = false;
  bool batteryIconTipDone = false;
  bool alertsOn = true;
  double alertWatts = kDefaultAlertWatts;  // heavy-app threshold

  // Choices are matched exactly against their stored names; flags are read
  // the platform's way (a missing flag is off). "alertsOn" counts only as a
  // boolean and "alertWatts" only as a usable threshold.
  static MonitorSettings load(sys::UserDefaults& defaults);

  // A threshold must be a finite number of watts above zero: at zero or
  // below every app would be "heavy", and NaN would never compare.
  static bool isUsableThreshold(double watts);

  friend bool operator==(const MonitorSettings&, const MonitorSettings&) = default;
};

}  // namespace ebbwise

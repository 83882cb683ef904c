#include "app/monitor.h"

// The user's settings: each change is stored at once, and only when it is one.

namespace ebbwise {

void Monitor::storeSetting(const char* key, sys::Value value) {
  defaults_.set(key, std::move(value));
  published();
}

void Monitor::setShowInMenuBar(bool show) {
  settings_.showInMenuBar = show;
  storeSetting(MonitorSettings::kShowInMenuBar, show);
  storeSetting(MonitorSettings::kMenuBarItemVisible, show);
}

void Monitor::setHasNotch(bool present) {
  hasNotch_ = present;
  storeSetting(MonitorSettings::kMenuBarItemVisible, settings_.showInMenuBar);
}

void Monitor::setUnit(PowerUnit unit) {
  settings_.unit = unit;
  storeSetting(MonitorSettings::kPowerUnit, std::string(rawValue(unit)));
}

void Monitor::setLineTheme(LineTheme theme) {
  settings_.lineTheme = theme;
  storeSetting(MonitorSettings::kLineTheme, std::string(rawValue(theme)));
}

void Monitor::setFullscreenStyle(FullscreenStyle style) {
  settings_.fullscreenStyle = style;
  storeSetting(MonitorSettings::kFullscreenStyle, std::string(rawValue(style)));
}

void Monitor::setMenuBarStyle(MenuBarStyle style) {
  settings_.menuBarStyle = style;
  storeSetting(MonitorSettings::kMenuBarStyle, std::string(rawValue(style)));
}

void Monitor::setDemoNotch(bool on) {
  settings_.demoNotch = on;
  storeSetting(MonitorSettings::kDemoNotch, on);
}

void Monitor::hideBatteryIconTip() {
  settings_.batteryIconTipDone = true;
  storeSetting(MonitorSettings::kBatteryIconTipDone, true);
}

void Monitor::setAlertsOn(bool on) {
  settings_.alertsOn = on;
  storeSetting(MonitorSettings::kAlertsOn, on);
  if (on) requestNotificationPermission();
}

bool Monitor::setAlertWatts(double watts) {
  if (!MonitorSettings::isUsableThreshold(watts)) return false;
  settings_.alertWatts = watts;
  tracker_->detector().thresholdWatts = watts;
  storeSetting(MonitorSettings::kAlertWatts, watts);
  return true;
}

bool Monitor::launchAtLogin() const {
  return platform_.loginItem.status() == sys::LoginItemStatus::enabled;
}

void Monitor::setLaunchAtLogin(bool on) {
  // Either way the service's answer changes nothing here: the next read of
  // `launchAtLogin` shows what it did.
  if (on) {
    platform_.loginItem.registerItem();
  } else {
    platform_.loginItem.unregisterItem();
  }
  published();
}

void Monitor::requestNotificationPermission() {
  notifier.requestPermission();
}

}  // namespace ebbwise

#include "app/app_startup.h"

#include "app/settings_migration.h"
#include "display_rules/notch_support.h"

namespace ebbwise {

namespace {

constexpr std::uint32_t kMaxDisplays = 16;

}  // namespace

AppStartup::AppStartup(const sys::Platform& platform, std::unique_ptr<Store> store)
    : platform_(platform) {
  SettingsMigration::run(platform_.userDefaults);
  monitor_ = std::make_unique<Monitor>(platform_, std::move(store));
}

bool AppStartup::notchVisible(sys::Screens& screens) {
  for (const auto& screen : screens.screens()) {
    if (screen.auxiliaryTopLeftArea) return true;
  }
  return false;
}

bool AppStartup::builtInDisplayOnline(sys::Displays& displays) {
  const auto online = displays.onlineDisplays(kMaxDisplays);
  if (!online) return true;
  for (auto display : *online) {
    if (displays.isBuiltin(display)) return true;
  }
  return false;
}

AppStartup::Refusal AppStartup::unsupportedMac() {
  return Refusal{"Ebbwise needs a MacBook with a notch",
                 "Ebbwise lives around the notch, so it can't run on this Mac. It works on "
                 "MacBook Air M2 or later, and 14 and 16-inch MacBook Pro from 2021 on."};
}

bool AppStartup::checkNotchSupport() {
  const bool hasBattery = platform_.registry.matchingService("AppleSmartBattery").has_value();
  return decideNotchSupport(monitor_->hasNotch(), platform_.userDefaults.boolValue(kSeenNotchKey),
                            hasBattery,
                            builtInDisplayOnline(platform_.displays)) != NotchSupport::unsupported;
}

std::optional<AppStartup::Refusal> AppStartup::finishLaunching() {
  monitor_->setHasNotch(notchVisible(platform_.screens));
  if (monitor_->hasNotch() && !platform_.userDefaults.boolValue(kSeenNotchKey)) {
    platform_.userDefaults.setObject(kSeenNotchKey, true);
  }
  if (!checkNotchSupport()) return unsupportedMac();
  platform_.updater.start();
  if (!platform_.userDefaults.boolValue(kLaunchAtLoginSetOnceKey)) {
    monitor_->setLaunchAtLogin(true);
    platform_.userDefaults.setObject(kLaunchAtLoginSetOnceKey, true);
  }
  return std::nullopt;
}

bool AppStartup::checkForUpdates() {
  if (!platform_.updater.canCheckForUpdates()) return false;
  platform_.updater.checkForUpdates();
  return true;
}

}  // namespace ebbwise

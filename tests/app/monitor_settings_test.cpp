// Settings: damaged stored values, writes on change only, and the
// one-time migration from the previous identity.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/defaults_writer.h"
#include "app/monitor.h"
#include "app/settings_migration.h"
#include "scripted_mac.h"

namespace ebbwise {
namespace {

// Stored values of the wrong type or out of range read as the default; the
// right ones are taken.
TEST(MonitorSettingsTest, DamagedValuesFallBackToTheirDefaults) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* key;
    sys::Value stored;
    MonitorSettings expected;
  };
  auto with = [](auto change) {
    MonitorSettings s;
    change(s);
    return s;
  };
  const MonitorSettings defaults;
  const std::vector<Case> cases = {
      {"alertWatts", "3", defaults},
      {"alertWatts", nan, defaults},
      {"alertWatts", inf, defaults},
      {"alertWatts", -1.5, defaults},
      {"alertWatts", 0, defaults},
      {"alertWatts", true, defaults},
      {"alertWatts", 3.5, with([](auto& s) { s.alertWatts = 3.5; })},
      {"alertWatts", 4, with([](auto& s) { s.alertWatts = 4; })},
      {"alertsOn", "no", defaults},
      {"alertsOn", 0, defaults},
      {"alertsOn", false, with([](auto& s) { s.alertsOn = false; })},
      {"menuBarStyle", "time left", defaults},
      {"menuBarStyle", 1, defaults},
      {"menuBarStyle", "Time left", with([](auto& s) { s.menuBarStyle = MenuBarStyle::timeLeft; })},
      {"powerUnit", "Watts", defaults},
      {"powerUnit", "watts", with([](auto& s) { s.unit = PowerUnit::watts; })},
      {"lineTheme", sys::Value::array({"Mana"}), defaults},
      {"lineTheme", "Mana", with([](auto& s) { s.lineTheme = LineTheme::mana; })},
      {"fullscreenStyle", "Hide", with([](auto& s) { s.fullscreenStyle = FullscreenStyle::hide; })},
      // Flags are read the platform's way.
      {"showInMenuBar", "YES", with([](auto& s) { s.showInMenuBar = true; })},
      {"showInMenuBar", "maybe", defaults},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " = " + c.stored.dump());
    sys::InMemoryUserDefaults store;
    store.setObject(c.key, c.stored);
    EXPECT_EQ(MonitorSettings::load(store), c.expected);
  }
}

TEST(MonitorSettingsTest, ChangesAreStoredOnceAndReachTheTracker) {
  test::ScriptedMac mac;
  mac.setBattery(70, -9, false);
  Monitor monitor(mac.platform(), nullptr);
  const auto before = monitor.defaultsWriter().writes();

  EXPECT_TRUE(monitor.setAlertWatts(3.5));
  EXPECT_EQ(mac.defaults.object("alertWatts"), sys::Value(3.5));
  EXPECT_EQ(monitor.tracker().detector().thresholdWatts, 3.5);
  for (double bad : {-1.0, 0.0, std::nan("")}) {
    EXPECT_FALSE(monitor.setAlertWatts(bad));
    EXPECT_EQ(monitor.settings().alertWatts, 3.5);
    EXPECT_EQ(monitor.tracker().detector().thresholdWatts, 3.5);
  }

  monitor.setMenuBarStyle(MenuBarStyle::timeLeft);
  monitor.setMenuBarStyle(MenuBarStyle::timeLeft);
  EXPECT_EQ(mac.defaults.stringValue("menuBarStyle"), "Time left");
  EXPECT_EQ(monitor.defaultsWriter().writes() - before, 2u) << "a repeated choice is no change";

  // Ticks that leave the capacity average as it was write nothing but the
  // since-charge ledger, at most once a minute.
  const auto afterSettings = monitor.defaultsWriter().writes();
  mac.loop.runFor(10 * 60);
  EXPECT_LE(monitor.defaultsWriter().writes() - afterSettings, 10u);
  EXPECT_TRUE(mac.defaults.object("sinceCharge"));
}

TEST(MonitorSettingsTest, TheMenuBarItemFollowsTheSetting) {
  test::ScriptedMac mac;
  Monitor monitor(mac.platform(), nullptr);
  monitor.setHasNotch(true);
  EXPECT_EQ(mac.defaults.object("menuBarItemVisible"), sys::Value(false));
  monitor.setShowInMenuBar(true);
  EXPECT_EQ(mac.defaults.object("showInMenuBar"), sys::Value(true));
  EXPECT_EQ(mac.defaults.object("menuBarItemVisible"), sys::Value(true));
  EXPECT_TRUE(monitor.showHideBatteryIconTip());
  monitor.hideBatteryIconTip();
  EXPECT_FALSE(monitor.showHideBatteryIconTip());
  EXPECT_EQ(mac.defaults.object("onboarding.batteryIconTipDone"), sys::Value(true));
}

TEST(SettingsMigrationTest, CopiesOnlyMissingKeysAndRunsOnce) {
  sys::InMemoryUserDefaults store;
  store.setObject("powerUnit", "watts");
  store.setPersistentDomain(SettingsMigration::kPreviousIdentity,
                            sys::Value{{"powerUnit", "percentPerHour"}, {"lineTheme", "Mana"}});
  SettingsMigration::run(store);
  EXPECT_EQ(store.stringValue("powerUnit"), "watts") << "the current value stays";
  EXPECT_EQ(store.stringValue("lineTheme"), "Mana");
  EXPECT_TRUE(store.boolValue(SettingsMigration::kDoneKey));
  EXPECT_TRUE(store.persistentDomain(SettingsMigration::kPreviousIdentity)) << "left in place";

  store.setPersistentDomain(SettingsMigration::kPreviousIdentity,
                            sys::Value{{"alertWatts", 9}, {"demoNotch", true}});
  SettingsMigration::run(store);
  EXPECT_FALSE(store.object("alertWatts")) << "only once";
}

TEST(SettingsMigrationTest, WithoutAPreviousIdentityItOnlyMarksItselfDone) {
  sys::InMemoryUserDefaults store;
  SettingsMigration::run(store);
  EXPECT_TRUE(store.boolValue(SettingsMigration::kDoneKey));
  sys::InMemoryUserDefaults odd;
  odd.setPersistentDomain(SettingsMigration::kPreviousIdentity, sys::Value("not a dictionary"));
  SettingsMigration::run(odd);
  EXPECT_TRUE(odd.boolValue(SettingsMigration::kDoneKey));
}

}  // namespace
}  // namespace ebbwise

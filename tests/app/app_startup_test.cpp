// Launching without windows: the notch check that turns a Mac away, the
// update checker and the login item registered once.

#include <gtest/gtest.h>

#include "app/app_startup.h"
#include "app/settings_migration.h"
#include "sim/simulation.h"

namespace ebbwise {
namespace {

sim::Scenario machine(const std::string& json) {
  auto parsed = sim::Scenario::parse(R"({"machine": )" + json + "}", "test");
  EXPECT_TRUE(parsed) << parsed.error;
  return parsed ? *parsed.scenario : sim::Scenario{};
}

TEST(AppStartupTest, EachKindOfMacIsLetInOrTurnedAway) {
  struct Case {
    const char* name;
    const char* machine;
    bool runs;
  };
  const Case cases[] = {
      {"notched MacBook", R"({"backgroundDaemons": 0})", true},
      {"MacBook without a notch", R"({"backgroundDaemons": 0, "model": "notchless"})", false},
      {"desktop", R"({"backgroundDaemons": 0, "model": "desktop"})", false},
      // The built-in screen is off: its notch cannot be seen, so it may have one.
      {"notchless MacBook, lid closed",
       R"({"backgroundDaemons": 0, "model": "notchless", "lid": "closed", "externalDisplay": true})",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Simulation simulation(machine(c.machine));
    AppStartup startup(simulation.platform(), nullptr);
    EXPECT_TRUE(startup.monitor().lastTickAt || std::string(c.name) == "desktop")
        << "the monitor ticked before the check";
    auto refusal = startup.finishLaunching();
    EXPECT_EQ(!refusal, c.runs);
    EXPECT_EQ(simulation.mac().updaterStarted(), c.runs);
    EXPECT_EQ(simulation.mac().loginItemRegistrations(), c.runs ? 1 : 0);
    if (refusal) {
      EXPECT_EQ(refusal->text(),
                "Ebbwise needs a MacBook with a notch\n"
                "Ebbwise lives around the notch, so it can't run on this Mac. It works on MacBook "
                "Air M2 or later, and 14 and 16-inch MacBook Pro from 2021 on.\n");
    }
  }
}

TEST(AppStartupTest, TheLoginItemIsRegisteredOnlyAtTheFirstLaunch) {
  sim::Simulation simulation(machine(R"({"backgroundDaemons": 0})"));
  auto& defaults = simulation.mac().userDefaults();
  {
    AppStartup first(simulation.platform(), nullptr);
    EXPECT_FALSE(first.finishLaunching());
    EXPECT_TRUE(defaults.boolValue(AppStartup::kSeenNotchKey));
    EXPECT_TRUE(defaults.boolValue(AppStartup::kLaunchAtLoginSetOnceKey));
    EXPECT_TRUE(defaults.boolValue(SettingsMigration::kDoneKey));
    EXPECT_TRUE(first.monitor().launchAtLogin());
    // The user turns it off; later launches leave it off.
    first.monitor().setLaunchAtLogin(false);
  }
  AppStartup second(simulation.platform(), nullptr);
  EXPECT_FALSE(second.finishLaunching());
  EXPECT_EQ(simulation.mac().loginItemRegistrations(), 1);
  EXPECT_FALSE(second.monitor().launchAtLogin());
}

}  // namespace
}  // namespace ebbwise

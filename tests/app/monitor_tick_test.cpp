// The monitor's tick loop: what each tick publishes, the extra ticks after a
// sleep, the system notifications it follows and the alerts it passes on.

#include <gtest/gtest.h>

#include <algorithm>

#include "../support/history_test_support.h"
#include "app/monitor.h"
#include "scripted_mac.h"
#include "sim/simulation.h"
#include "support/scenario_text.h"

namespace ebbwise {
namespace {

TEST(MonitorTickTest, WithoutABatteryNothingIsPublishedUntilOneAppears) {
  test::ScriptedMac mac;
  Monitor monitor(mac.platform(), nullptr);
  int ticks = 0;
  monitor.setTickObserver([&] { ++ticks; });
  mac.loop.runFor(20);
  EXPECT_EQ(ticks, 0);
  EXPECT_FALSE(monitor.lastTickAt);
  EXPECT_FALSE(monitor.battery);

  mac.setBattery(60, -8, false);
  mac.loop.runFor(5);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(monitor.lastTickAt, mac.loop.now());
}

// The live charge follows the time between successful ticks: none at the
// first, and a tick skipped for want of a battery reading is spanned by the
// next one.
TEST(MonitorTickTest, TheLiveChargeFollowsTheTimeBetweenReadings) {
  test::ScriptedMac mac;
  mac.setBattery(50, -10, false);
  Monitor monitor(mac.platform(), nullptr);
  EXPECT_EQ(monitor.liveCharge.integratedSeconds, 0);
  mac.loop.runFor(5);
  EXPECT_EQ(monitor.liveCharge.integratedSeconds, 5);
  mac.removeBattery();
  mac.loop.runFor(10);
  EXPECT_EQ(monitor.lastTickAt, mac.loop.now() - 10);
  mac.setBattery(50, -10, false);
  mac.loop.runFor(5);
  EXPECT_EQ(monitor.liveCharge.integratedSeconds, 20);
}

// Before the tracker has a window of its own (no system power sensor here),
// the drain is the battery's own rate, and only on battery.
TEST(MonitorTickTest, TheDrainIsTheBatterysOwnRateOnlyOnBattery) {
  struct Case {
    const char* name;
    double watts;
    bool onAC;
    std::optional<double> drain;
    std::optional<double> net;
  };
  for (const Case& c : {Case{"draining", -12.5, false, 12.5, -12.5},
                        Case{"charging", 20, true, std::nullopt, std::nullopt}}) {
    SCOPED_TRACE(c.name);
    test::ScriptedMac mac;
    mac.setBattery(50, c.watts, c.onAC, c.onAC);
    Monitor monitor(mac.platform(), nullptr);
    ASSERT_TRUE(monitor.battery);
    EXPECT_EQ(monitor.nowDrain, c.drain);
    // Without the charger's input there is no charge flow on the charger.
    EXPECT_EQ(monitor.chargeFlow, std::nullopt);
    EXPECT_EQ(monitor.netBatteryWatts(), c.net);
    EXPECT_EQ(monitor.power.isChargingNow, c.onAC) << "the battery's own flag";
  }
}

TEST(MonitorTickTest, TheChartWaitsTenSecondsAfterLaunch) {
  test::ScriptedMac mac;
  mac.setBattery(50, -10, false);
  Monitor monitor(mac.platform(), nullptr);
  monitor.scanFastForAWhile();  // ticks at 1 s … 10 s
  mac.loop.runFor(9.5);
  EXPECT_EQ(monitor.chart.sampleCount(), 0u);
  mac.loop.runFor(1);
  EXPECT_GT(monitor.chart.sampleCount(), 0u);
}

constexpr std::string_view kHeavyApp = R"({
  "machine": {"backgroundDaemons": 0, "battery": {"percent": 90}},
  "processes": [
    {"id": "render", "path": "/Applications/Render.app/Contents/MacOS/Render",
     "cpu": 6, "fluctuation": 0},
    {"id": "notes", "path": "/Applications/Notes.app/Contents/MacOS/Notes",
     "cpu": 0.5, "fluctuation": 0}
  ]})";

// A threshold raised between ticks takes effect before the next one.
TEST(MonitorTickTest, HeavyAppAlertsReachTheUserOnlyWhileOnAndAboveTheThreshold) {
  struct Case {
    bool alertsOn;
    double threshold;
  };
  for (const Case& c : {Case{true, 2}, Case{false, 2}, Case{true, 10}}) {
    SCOPED_TRACE(testing::Message() << c.alertsOn << " " << c.threshold);
    sim::Simulation simulation(scenario(kHeavyApp));
    simulation.mac().userDefaults().setObject("alertsOn", c.alertsOn);
    Monitor monitor(simulation.platform(), nullptr);
    EXPECT_TRUE(monitor.setAlertWatts(c.threshold));
    simulation.runFor(15 * 60);
    if (!c.alertsOn || c.threshold > 6) {
      EXPECT_TRUE(monitor.raisedAlerts.empty());
      continue;
    }
    ASSERT_EQ(monitor.raisedAlerts.size(), 1u) << "one alert, then the cool-down";
    EXPECT_EQ(monitor.raisedAlerts[0].alert.app, "Render");
    EXPECT_GT(monitor.raisedAlerts[0].alert.watts, 2.0);
  }
}

// Sleeping stops the timers; waking ticks at once (a gap the tracker does not
// account) and then every second, so the figures come back within seconds.
// The minute being gathered is stored before the machine sleeps.
TEST(MonitorTickTest, WakingTicksAtOnceAndTheMinuteIsStoredBeforeSleeping) {
  test::TempFolder folder;
  const std::string path = folder.file("history.sqlite");
  sim::Simulation simulation(scenario(R"({
    "machine": {"backgroundDaemons": 0},
    "events": [{"at": "150s", "type": "sleep", "duration": "10m"}]
  })"));
  Monitor monitor(simulation.platform(), std::make_unique<Store>(path));
  std::vector<double> ticks;
  monitor.setTickObserver([&] { ticks.push_back(simulation.elapsed()); });
  // Observers are told in the order they came, so this one looks after the
  // monitor has had its say.
  test::RawDatabase raw(path);
  std::optional<double> storedAtSleep;
  simulation.platform().workspace.addObserver(
      sys::WorkspaceNotification::willSleep, [&](const sys::WorkspaceEvent&) {
        storedAtSleep = raw.number("SELECT max(ts) FROM battery") -
                        simulation.mac().startDate().secondsSince1970;
      });
  simulation.runFor(15 * 60);

  const auto firstAfter =
      std::find_if(ticks.begin(), ticks.end(), [](double t) { return t > 150; });
  ASSERT_NE(firstAfter, ticks.begin());
  ASSERT_NE(firstAfter, ticks.end());
  const double lastBeforeSleep = *(firstAfter - 1);
  ASSERT_TRUE(storedAtSleep);
  EXPECT_NEAR(*storedAtSleep, lastBeforeSleep, 0.01) << "the partial minute is stored";

  const double wake = *firstAfter;
  EXPECT_NEAR(wake, 750, 1);
  for (int second = 1; second <= Monitor::kFastTicks; ++second) {
    EXPECT_TRUE(std::any_of(ticks.begin(), ticks.end(), [&](double t) {
      return std::abs(t - (wake + second)) < 0.02;
    })) << second;
  }
  EXPECT_TRUE(monitor.nowDrain) << "figures are back";
}

TEST(MonitorTickTest, LowPowerModeSwitchesAreLoggedForTheChartsSpan) {
  sim::Simulation simulation(scenario(R"({
    "machine": {"backgroundDaemons": 0},
    "events": [{"at": "1m", "type": "low-power", "mode": "always"},
               {"at": "2m", "type": "low-power", "mode": "always"}]
  })"));
  Monitor monitor(simulation.platform(), nullptr);
  EXPECT_FALSE(monitor.lowPowerOn);
  simulation.runFor(3 * 60);
  EXPECT_TRUE(monitor.lowPowerOn);
  ASSERT_EQ(monitor.lowPowerEvents.size(), 1u) << "a repeated state is no switch";
  EXPECT_TRUE(monitor.lowPowerEvents[0].on);
  simulation.runFor(15 * 60);
  EXPECT_TRUE(monitor.lowPowerEvents.empty()) << "older than the chart";
}

}  // namespace
}  // namespace ebbwise

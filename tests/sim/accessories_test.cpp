// What the simulated Mac tells about charging and what hangs off it: the
// hardware report tool, the power-source service and its notification, the
// script runner talking to browsers, the thermal state and the gauge's
// capacity estimates.

#include <gtest/gtest.h>

#include <cmath>

#include "machine_fixture.h"
#include "sensors/browsers/browser.h"
#include "sensors/devices/device_battery.h"
#include "sensors/devices/usb_devices.h"
#include "sensors/power/battery_reading.h"
#include "sensors/power/smart_charging.h"
#include "sim/machine_model.h"
#include "sim/sim_script_runner.h"
#include "sim/simulation.h"
#include "sys/value.h"

namespace ebbwise::sim::testing {
namespace {

constexpr const char* kAccessories = R"({
  "machine": {
    "backgroundDaemons": 0,
    "charger": {"name": "", "watts": 65, "vendor": 10522, "port": 1},
    "usb": [{"port": 2, "name": "Sam's iPhone", "watts": 4.5, "vendor": 0, "hub": "USB3.1 Hub"},
            {"port": 3, "name": "Dock", "watts": 1, "vendor": 11145}],
    "bluetooth": [
      {"name": "Sam's AirPods ", "kind": "Headphones", "left": 90, "right": 88, "case": 40},
      {"name": "Magic Mouse", "kind": "Mouse", "main": 70},
      {"name": "Speaker", "kind": "Speaker"},
      {"name": "Old Keyboard", "kind": "Keyboard", "main": 10, "connected": false}],
    "browsers": [{"name": "Safari", "tabs": ["https://www.youtube.com/watch?v=1", "about:blank"]},
                 {"name": "Arc", "tabs": ["https://netflix.com/"], "automation": false}]
  }
})";

TEST(AccessoriesTest, TheHardwareReportDescribesTheScenario) {
  Machine m(kAccessories);
  sys::ToolRunner& tools = m.mac->toolRunner();
  auto devices = DeviceBattery::read(tools);
  std::vector<std::string> names;
  for (const auto& d : devices) names.push_back(d.name + (d.isConnected ? "" : " (known)"));
  // The speaker reports no level, and a known accessory that is away none
  // either, though the report lists it.
  EXPECT_EQ(names, (std::vector<std::string>{"Magic Mouse", "Sam's AirPods "}));
  EXPECT_EQ(devices[1].levels,
            (std::vector<DeviceBattery::Level>{{"L", 90}, {"R", 88}, {"case", 40}}));
  const std::vector<std::string> bluetooth = {"-json", "-detailLevel", "basic",
                                              "SPBluetoothDataType"};
  const std::string report = tools.run("/usr/sbin/system_profiler", bluetooth)->output;
  EXPECT_NE(report.find("\"device_not_connected\""), std::string::npos);
  EXPECT_NE(report.find("\"Old Keyboard\""), std::string::npos);

  EXPECT_EQ(USBDevices::read(tools), (USBDevices::Buses{{2, {"Sam's iPhone"}}, {3, {"Dock"}}}))
      << "one bus per port, the hub left out";

  // Only the tool's own options are understood; other programs are missing.
  const std::vector<std::string> text = {"SPUSBDataType"};
  auto plain = tools.run("/usr/sbin/system_profiler", text);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->exitStatus, 0);
  EXPECT_NE(plain->output.find("Dock:"), std::string::npos);
  EXPECT_FALSE(sys::Value::accept(plain->output)) << "text, not JSON";
  const std::vector<std::string> unknown = {"-json", "SPThunderboltDataType"};
  EXPECT_EQ(tools.run("/usr/sbin/system_profiler", unknown)->output, "{\n\n}\n");
  const std::vector<std::string> wrong = {"-json", "-detailLevel", "everything", "SPUSBDataType"};
  EXPECT_EQ(tools.run("/usr/sbin/system_profiler", wrong), (sys::ToolRun{"", 1}));
  EXPECT_EQ(tools.run("/usr/bin/pmset", {}), std::nullopt);
  EXPECT_EQ(tools.run("system_profiler", text), std::nullopt);
}

TEST(AccessoriesTest, BrowsersAnswerOnlyTheirTabScript) {
  Machine m(kAccessories);
  sys::ScriptRunner& scripts = m.mac->scriptRunner();
  auto safari = scripts.run(Browser::named("Safari")->script);
  EXPECT_EQ(safari, (sys::ScriptResult{"https://www.youtube.com/watch?v=1\nabout:blank\n", {}}));

  auto denied = scripts.run(Browser::named("Arc")->script);
  ASSERT_TRUE(denied.error);
  EXPECT_EQ(denied.error->number, sys::ScriptRunner::kNotAuthorized) << "an error, not nothing";
  EXPECT_EQ(scripts.run(Browser::named("Google Chrome")->script).error->number,
            SimScriptRunner::kNoSuchApplication);

  std::string almost = Browser::named("Safari")->script;
  for (std::string altered :
       {almost + "\n", " " + almost, std::string("return 1"), std::string()}) {
    auto result = scripts.run(altered);
    ASSERT_TRUE(result.error) << altered;
    EXPECT_EQ(result.error->number, sys::ScriptRunner::kSyntaxError);
  }
}

TEST(AccessoriesTest, OptimisedChargingHoldsThenFinishes) {
  Machine m(R"({
    "machine": {"backgroundDaemons": 0, "battery": {"percent": 70, "full": 4000, "design": 4400}},
    "events": [{"at": "10m", "type": "plug", "name": "70W USB-C Power Adapter", "watts": 70, "hold": "3h"}]
  })");
  sys::PowerSources& sources = m.mac->powerSources();
  EXPECT_EQ(SmartCharging::read(sources), (SmartCharging{false, false}));
  auto battery = [&] { return m.mac->truth().batteryPercent; };

  m.advance(3600);  // on the charger, charged to 80 % and held there
  EXPECT_NEAR(battery(), 80, 0.01);
  EXPECT_EQ(SmartCharging::read(sources), (SmartCharging{true, false}));
  m.advance(3600);
  EXPECT_NEAR(battery(), 80, 0.01) << "held while the system runs from the charger";

  m.advance(3600 + 10 * 60);  // the hold is over: finishing slowly
  EXPECT_EQ(SmartCharging::read(sources), (SmartCharging{false, true}));
  const double start = battery();
  m.advance(600);
  EXPECT_GT(battery(), start);
  EXPECT_LT(battery() - start, 0.2 * 100 * 600 / 3600.0 + 1e-9) << "at most 0.2 C";

  m.advance(4 * 3600);
  EXPECT_NEAR(battery(), 100, 1e-6);
  EXPECT_EQ(SmartCharging::read(sources), (SmartCharging{false, false}));
  auto blob = sources.copyInfo();
  ASSERT_TRUE(blob);
  auto description = sources.description(*blob, sources.copyList(*blob)->back());
  EXPECT_EQ(sys::asBool(sys::member(*description, "Is Charged")), true);
}

TEST(AccessoriesTest, ThePowerSourceNotificationFollowsPlugsAndTheGauge) {
  auto parsed = Scenario::parse(R"({
    "machine": {"backgroundDaemons": 0, "battery": {"percent": 50}},
    "processes": [{"path": "/usr/bin/yes", "cpu": 15, "fluctuation": 0}],
    "events": [{"at": "100s", "type": "plug", "name": "96W", "watts": 96},
               {"at": "107s", "type": "unplug"}]
  })",
                                "test");
  ASSERT_TRUE(parsed) << parsed.error;
  Simulation simulation(*parsed.scenario);
  std::vector<double> calls;
  auto source = simulation.mac().powerSources().createRunLoopSource(
      simulation.loop(), [&] { calls.push_back(simulation.elapsed()); });
  ASSERT_NE(source, nullptr);
  simulation.runFor(99);
  const std::size_t before = calls.size();
  EXPECT_GE(before, 1u) << "the shown charge moved on";
  for (double t : calls) EXPECT_NEAR(std::fmod(t, MachineModel::kGaugeSeconds), 0, 1e-6);
  simulation.runFor(10);
  ASSERT_GE(calls.size(), before + 2);
  EXPECT_NEAR(calls[before], 100, 0.01) << "plugged";
  EXPECT_NEAR(calls[before + 1], 107, 0.01) << "unplugged";
  source.reset();
  const std::size_t after = calls.size();
  simulation.runFor(600);
  EXPECT_EQ(calls.size(), after) << "gone with its source";
}

TEST(AccessoriesTest, HeatFollowsLoadAndCharging) {
  auto parsed = Scenario::embedded("summer-render");
  ASSERT_TRUE(parsed) << parsed.error;
  Simulation simulation(*parsed.scenario);
  // The machine's services notify on the loop they were handed out for.
  sys::ProcessInfo& info = simulation.platform().processInfo;
  int changes = 0;
  const sys::ObserverID observer = info.addObserver(
      sys::ProcessInfoNotification::thermalStateDidChange, [&] { ++changes; });
  EXPECT_EQ(info.thermalState(), sys::ThermalState::nominal);
  int hottest = 0;
  double warmest = 0;
  for (int minute = 0; minute < 100; ++minute) {
    simulation.runFor(60);
    hottest = std::max(hottest, static_cast<int>(info.thermalState()));
    warmest = std::max(warmest,
                       BatteryReading::read(simulation.mac().registry())->temperatureC.value_or(0));
  }
  EXPECT_GE(hottest, 2) << "the system slows down";
  EXPECT_GT(warmest, 40);
  EXPECT_GT(changes, 0);
  simulation.runFor(20 * 60);  // the render is over
  EXPECT_EQ(info.thermalState(), sys::ThermalState::nominal);
  info.removeObserver(observer);
}

TEST(AccessoriesTest, CapacityEstimatesWanderAroundTheTruth) {
  Machine m(R"({"machine": {"backgroundDaemons": 0, "battery": {"full": 5000, "design": 5500}}})");
  std::set<double> seen;
  double sum = 0;
  const int periods = 200;
  for (int i = 0; i < periods; ++i) {
    auto reading = BatteryReading::read(m.mac->registry());
    ASSERT_EQ(reading->capacityEstimates.size(), 2u);
    for (double mAh : reading->capacityEstimates) {
      EXPECT_NEAR(mAh, 5000, 5000 * 0.012 + 1);
      seen.insert(mAh);
      sum += mAh;
    }
    m.advance(MachineModel::kCapacitySeconds);
  }
  EXPECT_GT(seen.size(), 100u);
  EXPECT_NEAR(sum / (2 * periods), 5000, 10);
}

}  // namespace
}  // namespace ebbwise::sim::testing

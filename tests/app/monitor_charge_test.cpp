// The monitor's charging, charger, device and tab-check wiring on the
// simulated Mac.

#include <gtest/gtest.h>

#include <cmath>

#include "app/charge_report.h"
#include "app/monitor.h"
#include "sim/simulation.h"
#include "support/scenario_text.h"

namespace ebbwise {
namespace {

// A tool runner that counts the runs it passes on.
class CountingTools final : public sys::ToolRunner {
 public:
  explicit CountingTools(sys::ToolRunner& inner) : inner_(inner) {}
  std::optional<sys::ToolRun> run(std::string_view path,
                                  std::span<const std::string> arguments) override {
    ++runs;
    return inner_.run(path, arguments);
  }
  int runs = 0;

 private:
  sys::ToolRunner& inner_;
};

sys::Platform withTools(const sys::Platform& p, sys::ToolRunner& tools) {
  return sys::Platform{.clock = p.clock,
                       .runLoop = p.runLoop,
                       .environment = p.environment,
                       .registry = p.registry,
                       .processes = p.processes,
                       .smc = p.smc,
                       .ioReport = p.ioReport,
                       .displays = p.displays,
                       .displayServices = p.displayServices,
                       .coreBrightness = p.coreBrightness,
                       .audio = p.audio,
                       .toolRunner = tools,
                       .userDefaults = p.userDefaults,
                       .windows = p.windows,
                       .audioEngines = p.audioEngines,
                       .notifications = p.notifications,
                       .workspace = p.workspace,
                       .processInfo = p.processInfo,
                       .windowServer = p.windowServer,
                       .screens = p.screens,
                       .privilegedScripts = p.privilegedScripts,
                       .loginItem = p.loginItem,
                       .updater = p.updater,
                       .powerSources = p.powerSources,
                       .scriptRunner = p.scriptRunner};
}

TEST(MonitorChargeTest, APowerSourceChangeTicksAtOnceThenEverySecond) {
  sim::Simulation simulation(scenario(R"({
    "machine": {"backgroundDaemons": 0},
    "events": [{"at": "102s", "type": "plug", "name": "96W", "watts": 96},
               {"at": "106s", "type": "unplug"}]
  })"));
  Monitor monitor(simulation.platform(), nullptr);
  std::vector<double> ticks;
  monitor.setTickObserver([&] { ticks.push_back(simulation.elapsed()); });
  simulation.runFor(101);
  ticks.clear();
  simulation.runFor(30);
  auto within = [&](double from, double to) {
    return std::count_if(ticks.begin(), ticks.end(), [&](double t) { return t > from && t < to; });
  };
  EXPECT_EQ(within(102, 102.01), 1) << "the plug, at once";
  EXPECT_EQ(within(106, 106.01), 1) << "the unplug, at once";
  // The unplug restarts the burst: every second up to ten after it, beside
  // the 5-second ticks.
  for (int second = 1; second <= 10; ++second) {
    EXPECT_GE(within(106 + second - 0.01, 106 + second + 0.02), 1) << second;
  }
  EXPECT_EQ(within(116.1, 120), 0);
}

TEST(MonitorChargeTest, TheChargeFlowNeedsTheChargersInput) {
  for (int chip : {2, 3}) {
    SCOPED_TRACE(chip);
    sim::Simulation simulation(scenario(R"({
      "machine": {"chip": )" + std::to_string(chip) +
                                        R"(, "backgroundDaemons": 0,
                  "battery": {"percent": 40}, "charger": {"name": "", "watts": 60}}
    })"));
    Monitor monitor(simulation.platform(), nullptr);
    simulation.runFor(60);
    if (chip == 2) {
      EXPECT_EQ(monitor.chargeFlow, std::nullopt) << "this model cannot read the charger";
      EXPECT_TRUE(monitor.power.isChargingNow) << "the battery's own flag";
      EXPECT_EQ(monitor.minutesToFull(), std::nullopt);
    } else {
      ASSERT_TRUE(monitor.chargeFlow);
      EXPECT_EQ(monitor.chargeFlow->state(), ChargeFlow::State::charging);
      EXPECT_NEAR(monitor.chargeFlow->inWatts, simulation.mac().truth().chargerJoules / 60, 5);
      EXPECT_TRUE(monitor.power.isChargingNow);
      EXPECT_TRUE(monitor.minutesToFull());
      EXPECT_GT(*monitor.netBatteryWatts(), 0);
    }
    EXPECT_EQ(ChargeReport::from(monitor).charger->label, "Apple 60 W USB-C charger");
  }
}

TEST(MonitorChargeTest, TheChargerBrandComesFromAPortTheMacDoesNotPower) {
  sim::Simulation simulation(scenario(R"({
    "machine": {"backgroundDaemons": 0,
                "usb": [{"port": 1, "name": "iPad", "watts": 5, "vendor": 1452}]},
    "events": [{"at": "30s", "type": "plug", "name": "", "watts": 90, "vendor": 16700, "port": 2},
               {"at": "2m", "type": "unplug"},
               {"at": "3m", "type": "plug", "name": "", "watts": 90, "vendor": 10522, "port": 3}]
  })"));
  Monitor monitor(simulation.platform(), nullptr);
  EXPECT_EQ(monitor.power.chargerBrand, std::nullopt);
  simulation.runFor(40);
  EXPECT_EQ(monitor.power.chargerBrand, "Dell");
  EXPECT_EQ(ChargeReport::from(monitor).charger->label, "Dell 90 W USB-C charger");
  simulation.runFor(90);
  EXPECT_EQ(monitor.power.chargerBrand, std::nullopt) << "unplugged";
  simulation.runFor(60);
  EXPECT_EQ(monitor.power.chargerBrand, "Anker");
}

TEST(MonitorChargeTest, USBRowsTakeTheirNamesFromTheTreeATickLater) {
  sim::Simulation simulation(scenario(R"({
    "machine": {"backgroundDaemons": 0},
    "events": [{"at": "12s", "type": "usb-attach", "port": 2, "name": "Kim's iPhone", "watts": 4.5,
                "hub": "USB2 Hub"}]
  })"));
  Monitor monitor(simulation.platform(), nullptr);
  std::vector<std::string> names;
  monitor.setTickObserver(
      [&] { names.push_back(monitor.usbRows.empty() ? "-" : monitor.usbRows.front().name); });
  simulation.runFor(20);
  EXPECT_EQ(names, (std::vector<std::string>{"-", "-", "USB-C device", "iPhone, charging"}));
}

TEST(MonitorChargeTest, AccessoriesAreReadWhileThePanelIsOpenAtMostEveryThreeMinutes) {
  sim::Simulation simulation(scenario(R"({
    "machine": {"backgroundDaemons": 0, "bluetooth": [
      {"name": "Mouse", "kind": "Mouse", "main": 60},
      {"name": "Away", "kind": "Keyboard", "main": 20, "connected": false}]}
  })"));
  CountingTools tools(simulation.mac().toolRunner());
  Monitor monitor(withTools(simulation.platform(), tools), nullptr);
  simulation.runFor(30);
  EXPECT_EQ(tools.runs, 0);
  monitor.setPanelOpen(true);
  simulation.runFor(1);
  EXPECT_EQ(tools.runs, 1);
  ASSERT_EQ(monitor.power.devices.size(), 1u);
  EXPECT_EQ(monitor.power.devices[0].name, "Mouse");
  simulation.runFor(170);
  EXPECT_EQ(tools.runs, 1);
  simulation.runFor(15);
  EXPECT_EQ(tools.runs, 2);
  monitor.setPanelOpen(false);
  simulation.runFor(600);
  EXPECT_EQ(tools.runs, 2);
}

TEST(MonitorChargeTest, PlayingBrowsersAreAskedForTheirTabsOnceAMinute) {
  sim::Simulation simulation(scenario(R"({
    "machine": {"backgroundDaemons": 0, "browsers": [
      {"name": "Google Chrome", "tabs": ["https://www.twitch.tv/x", "https://example.com/"]},
      {"name": "Safari", "tabs": ["https://youtube.com/"], "automation": false}]},
    "processes": [
      {"id": "chrome", "path": "/Applications/Google Chrome.app/Contents/MacOS/Google Chrome",
       "cpu": 0.5, "audio": "play"},
      {"id": "safari", "path": "/Applications/Safari.app/Contents/MacOS/Safari", "cpu": 0.5,
       "audio": "hold"}],
    "events": [{"at": "200s", "type": "load", "process": "chrome", "audio": "none"}]
  })"));
  Monitor monitor(simulation.platform(), nullptr);
  simulation.runFor(6);  // the processes are named from the second scan on
  ASSERT_TRUE(monitor.playingApps.contains("Google Chrome"));
  const sys::Date first = monitor.tabs.lastTabCheck.at("Google Chrome");
  EXPECT_EQ(monitor.tabs.tabSuggestions.at("Google Chrome"),
            (std::vector<std::string>{"twitch.tv"}));
  EXPECT_FALSE(monitor.tabs.tabSuggestions.contains("Safari")) << "no permission: no suggestions";
  EXPECT_TRUE(monitor.tabs.lastTabCheck.contains("Safari"));

  simulation.runFor(30);
  EXPECT_EQ(monitor.tabs.lastTabCheck.at("Google Chrome"), first);
  simulation.runFor(35);
  EXPECT_GE(monitor.tabs.lastTabCheck.at("Google Chrome") - first, 60);

  auto report = ChargeReport::from(monitor);
  ASSERT_EQ(report.mediaSites.size(), 2u);
  EXPECT_EQ(report.mediaSites[0].browser, "Google Chrome");
  EXPECT_EQ(report.mediaSites[0].advice,
            "You have twitch.tv open. Those sites often keep the speakers on; closing them should "
            "turn the speakers off.");

  simulation.runFor(200);  // Chrome has stopped playing
  EXPECT_FALSE(monitor.playingApps.contains("Google Chrome"));
  EXPECT_FALSE(monitor.tabs.tabSuggestions.contains("Google Chrome"));
  EXPECT_FALSE(monitor.tabs.lastTabCheck.contains("Google Chrome"));
  EXPECT_FALSE(monitor.tabs.playingSince.contains("Google Chrome"));
  EXPECT_TRUE(monitor.tabs.playingSince.contains("Safari"));
}

TEST(MonitorChargeTest, TheCapacityAverageIsKeptAcrossRuns) {
  sim::Simulation simulation(scenario(R"({"machine": {"backgroundDaemons": 0}})"));
  std::int64_t count = 0;
  {
    Monitor monitor(simulation.platform(), nullptr);
    simulation.runFor(3600);
    count = monitor.capacity.count;
    EXPECT_GE(count, 4);
    auto stored = simulation.mac().userDefaults().object(Monitor::kCapacityKey);
    ASSERT_TRUE(stored);
    EXPECT_EQ(CapacityAverage::fromJSON(*stored), monitor.capacity);
  }
  Monitor again(simulation.platform(), nullptr);
  EXPECT_GE(again.capacity.count, count) << "restored, then the first tick adds to it";

  simulation.mac().userDefaults().setObject(Monitor::kCapacityKey, sys::Value{{"count", "many"}});
  Monitor damaged(simulation.platform(), nullptr);
  EXPECT_LE(damaged.capacity.count, 2) << "a damaged record starts afresh";
}

TEST(MonitorChargeTest, SmartChargingAndTheChargerReachTheReport) {
  sim::Simulation simulation(scenario(R"({
    "machine": {"backgroundDaemons": 0, "battery": {"percent": 77},
                "charger": {"name": "", "watts": 65, "vendor": 10522, "hold": "5h"},
                "usb": [{"port": 2, "name": "Dock", "watts": 1, "vendor": 11145}]}
  })"));
  Monitor monitor(simulation.platform(), nullptr);
  simulation.runFor(1800);
  auto report = ChargeReport::from(monitor);
  ASSERT_TRUE(report.smartCharging);
  EXPECT_EQ(report.smartCharging->message(), "Smart charging · holding at 80%");
  ASSERT_TRUE(report.flow);
  EXPECT_EQ(report.flow->flow.state(), ChargeFlow::State::holding);
  EXPECT_FALSE(report.charging);
  EXPECT_EQ(report.charger->label, "Anker 65 W USB-C charger");
  EXPECT_EQ(report.charger->note, std::nullopt);
  const std::string text = report.text();
  EXPECT_NE(text.find("Smart charging · holding at 80%: macOS holds the battery at 80%"),
            std::string::npos)
      << text;
  sys::Value json = sys::Value::object();
  report.addTo(json);
  EXPECT_EQ(json["charge"]["smartCharging"]["holding"], true);
  EXPECT_EQ(json["charge"]["flow"]["state"], "holding");
  EXPECT_EQ(json["usbDevices"],
            (sys::Value::array({{{"name", "Dock, charging"}, {"watts", 1.0}}})));
}

}  // namespace
}  // namespace ebbwise

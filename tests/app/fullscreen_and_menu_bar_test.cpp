// Fullscreen detection on the simulated desktop, and the menu-bar title.

#include <gtest/gtest.h>

#include "app/menu_bar_text.h"
#include "app/monitor.h"
#include "sim/simulation.h"
#include "support/scenario_text.h"

namespace ebbwise {
namespace {

// A film in its own space from 1 to 2 min, then in a window filling the
// screen in the current space from 3 to 4 min.
std::string film(std::string_view machine) {
  return R"({"machine": )" + std::string(machine) + R"(,
    "processes": [
      {"id": "player", "path": "/Applications/Player.app/Contents/MacOS/Player", "cpu": 0.5}],
    "events": [
      {"at": "1m", "type": "fullscreen", "process": "player", "on": true},
      {"at": "2m", "type": "fullscreen", "process": "player", "on": false},
      {"at": "3m", "type": "fullscreen", "process": "player", "on": true, "space": false},
      {"at": "4m", "type": "fullscreen", "process": "player", "on": false}]})";
}

TEST(FullscreenTest, AFullscreenSpaceOrACoveringWindowOnTheNotchedScreenCounts) {
  sim::Simulation simulation(scenario(film(R"({"backgroundDaemons": 0})")));
  Monitor monitor(simulation.platform(), nullptr);
  std::vector<std::pair<double, bool>> seen;
  for (double t : {30.0, 90.0, 150.0, 210.0, 270.0}) {
    simulation.runFor(t - simulation.elapsed());
    seen.emplace_back(t, monitor.isFullscreen);
  }
  const std::vector<std::pair<double, bool>> expected{
      {30, false}, {90, true}, {150, false}, {210, true}, {270, false}};
  EXPECT_EQ(seen, expected);
}

TEST(FullscreenTest, WithoutANotchedScreenNothingIsFullscreen) {
  for (const char* machine : {R"({"backgroundDaemons": 0, "model": "notchless"})",
                              R"({"backgroundDaemons": 0, "lid": "closed",
                                  "externalDisplay": true})"}) {
    SCOPED_TRACE(machine);
    sim::Simulation simulation(scenario(film(machine)));
    Monitor monitor(simulation.platform(), nullptr);
    simulation.runFor(90);
    EXPECT_FALSE(monitor.isFullscreen);
  }
}

TEST(MenuBarTextTest, ShowsWhatTheStyleAsksForOnBatteryAndThePercentOnTheCharger) {
  const BatteryReading onAC =
      BatteryReading::make(79.5, 40, 20, true, true, std::nullopt, std::nullopt);
  const BatteryReading draining =
      BatteryReading::make(62.4, 30, -7.26, false, false, std::nullopt, std::nullopt);
  struct Case {
    const char* name;
    std::optional<BatteryReading> battery;
    MenuBarStyle style;
    std::optional<double> drain, minutes;
    std::string text;
  };
  const Case cases[] = {
      {"no battery", std::nullopt, MenuBarStyle::watts, 5, 100, "\u2013"},
      {"charger, halves round up", onAC, MenuBarStyle::watts, std::nullopt, std::nullopt, "80%"},
      {"watts", draining, MenuBarStyle::watts, 7.26, 100, "7.3 W"},
      {"watts before the tracker has a figure", draining, MenuBarStyle::watts, std::nullopt,
       std::nullopt, "7.3 W"},
      {"time left", draining, MenuBarStyle::timeLeft, 7.26, 125, "2h 05m"},
      {"time left without an estimate", draining, MenuBarStyle::timeLeft, 7.26, std::nullopt,
       "62%"},
      {"percent", draining, MenuBarStyle::percent, 7.26, 125, "62%"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MenuBarText::text(c.battery, c.style, c.drain, c.minutes), c.text) << c.name;
  }
}

}  // namespace
}  // namespace ebbwise

// A scenario built in code is brought into the ranges the machine model
// relies on, whatever odd values it holds.

#include "sim/normalized_scenario.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

namespace ebbwise::sim {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

Event event(double at, EventType type, double value = 0) {
  Event e;
  e.at = at;
  e.type = type;
  e.value = value;
  return e;
}

TEST(NormalizedScenarioTest, LoadsAndSettingsAreKeptInRange) {
  Load l;
  std::tie(l.cpu, l.gpu, l.neuralEngine, l.camera, l.fluctuation) =
      std::tuple(kNaN, -1.0, kInf, 0.5, kNaN);
  const Load n = normalizedLoad(l);
  EXPECT_EQ(n.cpu, 0);
  EXPECT_EQ(n.gpu, 0);
  EXPECT_EQ(n.neuralEngine, 0);  // no infinite power
  EXPECT_EQ(n.camera, 0.5);
  EXPECT_EQ(n.fluctuation, 0);
  l.fluctuation = 3;
  EXPECT_EQ(normalizedLoad(l).fluctuation, 1);

  Scenario s;
  s.machine.chip = 9;
  s.machine.battery.percent = kNaN;
  s.machine.keyboard = 2;
  s.machine.charger.emplace().watts = -60;
  ScenarioProcess p;
  p.pid = -3;
  p.gpuClients = 40;
  s.processes.push_back(p);
  s.events.push_back(event(5, EventType::brightness, kNaN));
  s.events.push_back(event(6, EventType::plug));
  s.events.back().charger.watts = -kInf;
  const Scenario n2 = normalizedScenario(s);
  EXPECT_EQ(n2.machine.chip, 4);
  EXPECT_EQ(n2.machine.battery.percent, 50);  // unknown: half full
  EXPECT_EQ(n2.machine.keyboard, 1);
  EXPECT_EQ(n2.machine.charger->watts, 0);
  EXPECT_FALSE(n2.processes[0].pid);  // one is picked for it
  EXPECT_EQ(n2.processes[0].gpuClients, 16);
  EXPECT_EQ(n2.events[0].value, 0);
  EXPECT_EQ(n2.events[1].charger.watts, 0);
}

TEST(NormalizedScenarioTest, EventsAreOrderedAndSleepsMergedApart) {
  Scenario s;
  s.events = {event(100, EventType::sleep, 50),   event(10, EventType::lid),
              event(120, EventType::sleep, 10),  // inside the first: changes nothing
              event(10, EventType::display),     // same time as the lid: stays after it
              event(140, EventType::sleep, 40),  // overlaps: the merged sleep runs to 180
              event(300, EventType::sleep, 0),   // no time at all
              event(400, EventType::sleep, kNaN), event(500, EventType::sleep, 5)};
  s.sleeps = {{1, 1}};  // stale: rebuilt from the events
  const Scenario n = normalizedScenario(s);
  ASSERT_EQ(n.events.size(), s.events.size());
  EXPECT_EQ(n.events[0].type, EventType::lid);
  EXPECT_EQ(n.events[1].type, EventType::display);
  for (std::size_t i = 1; i < n.events.size(); ++i) EXPECT_LE(n.events[i - 1].at, n.events[i].at);
  ASSERT_EQ(n.sleeps.size(), 2u);
  EXPECT_EQ(n.sleeps[0].at, 100);
  EXPECT_EQ(n.sleeps[0].seconds, 80);
  EXPECT_EQ(n.sleeps[1].at, 500);
  EXPECT_EQ(n.sleeps[1].seconds, 5);
}

}  // namespace
}  // namespace ebbwise::sim

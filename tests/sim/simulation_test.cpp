// The simulated machine on its run loop: what runs on the loop sees the
// machine as a program on a real Mac would, including a battery that runs
// out.

#include "sim/simulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace ebbwise::sim {
namespace {

Scenario parse(const std::string& json) {
  auto parsed = Scenario::parse(json, "t");
  EXPECT_TRUE(parsed) << parsed.error;
  return parsed ? *parsed.scenario : Scenario{};
}

// A machine at 3 % under a heavy load: the battery runs out within minutes.
// While it hibernates nothing runs, the tick counter stands still and a
// sleep due meanwhile is slept through; a charger plugged at 20 minutes
// brings it back at a few percent.
TEST(HibernationTest, AnEmptyBatteryHibernatesUntilAChargerWakesIt) {
  Simulation simulation(parse(R"({
    "machine": {"backgroundDaemons": 0, "seed": 3, "battery": {"full": 5000, "percent": 3}},
    "processes": [{"id": "build", "path": "/usr/local/bin/builder", "cpu": 20, "fluctuation": 0.5}],
    "events": [{"at": "10m", "type": "start", "process": {"id": "late", "path": "/usr/bin/late"}},
               {"at": "12m", "type": "sleep", "duration": "3m"},
               {"at": "20m", "type": "plug", "watts": 96}]})"));
  SimulatedMac& mac = simulation.mac();
  sys::VirtualRunLoop& loop = simulation.loop();
  std::vector<double> ticks;  // when a 5-second timer ran, in seconds from the start
  loop.scheduleRepeating(5, 0, [&] { ticks.push_back(simulation.elapsed()); });
  const double held = mac.truth().batteryJoules;

  simulation.runFor(600);
  ASSERT_TRUE(mac.hibernating());
  std::vector<Hibernation> spans = mac.hibernations();
  ASSERT_EQ(spans.size(), 1u);
  EXPECT_FALSE(spans[0].end);
  const double ranOut = spans[0].start - mac.startDate();
  EXPECT_GT(ranOut, 60);
  EXPECT_LT(ranOut, 600);
  EXPECT_LE(ticks.back(), ranOut);  // nothing ran since
  EXPECT_NEAR(simulation.elapsed(), 600, 1e-3);
  const TruthSnapshot empty = mac.truth();
  EXPECT_EQ(empty.batteryJoules, 0);
  EXPECT_NEAR(empty.batteryOutJoules, held, 1e-6 * held);  // all it held, and no more
  const std::uint64_t stopped = loop.clock().monotonicTicks();

  simulation.runFor(600);  // still off at 20 minutes
  EXPECT_TRUE(mac.hibernating());
  EXPECT_EQ(loop.clock().monotonicTicks(), stopped);
  EXPECT_LE(ticks.back(), ranOut);

  simulation.runFor(600);
  ASSERT_FALSE(mac.hibernating());
  spans = mac.hibernations();
  ASSERT_TRUE(spans[0].end);
  const double woke = *spans[0].end - mac.startDate();
  EXPECT_GT(woke, 1200);
  EXPECT_LT(woke, 1500);
  // The timer fires at the wake and keeps its period from there: the sleep
  // due at 12 minutes was slept through, not slept again.
  auto firstAfter = std::upper_bound(ticks.begin(), ticks.end(), ranOut);
  ASSERT_NE(firstAfter, ticks.end());
  EXPECT_NEAR(*firstAfter, woke, 1e-3);
  EXPECT_GT(ticks.back(), 1795);
  // A process that started while the machine was off carries the tick
  // count the machine stopped at.
  std::vector<sys::Pid> pids(64);
  pids.resize(static_cast<std::size_t>(mac.processes().listAllPids(pids)));
  auto late = std::find_if(pids.begin(), pids.end(), [&](sys::Pid pid) {
    return mac.processes().executablePath(pid) == "/usr/bin/late";
  });
  ASSERT_NE(late, pids.end());
  const auto stamp = mac.processes().rusage(*late)->procStartAbstime;
  EXPECT_NEAR(static_cast<double>(stamp), static_cast<double>(stopped),
              loop.clock().timebase().secondsToTicks(0.001));
}

// Asleep with little charge left, the battery runs out during the sleep:
// the machine does not wake at the sleep's end but only once a charger
// has brought it back.
TEST(HibernationTest, ABatteryThatRunsOutDuringASleepKeepsTheMachineOff) {
  Simulation simulation(parse(R"({
    "machine": {"backgroundDaemons": 0, "battery": {"full": 5000, "percent": 2}},
    "processes": [{"path": "/bin/w", "cpu": 1}],
    "events": [{"at": "1m", "type": "sleep", "duration": "12h"},
               {"at": "14h", "type": "plug", "watts": 96}]})"));
  std::vector<double> ticks;
  simulation.loop().scheduleRepeating(5, 0, [&] { ticks.push_back(simulation.elapsed()); });
  simulation.runFor(13 * 3600);
  std::vector<Hibernation> spans = simulation.mac().hibernations();
  ASSERT_EQ(spans.size(), 1u);
  const double ranOut = spans[0].start - simulation.mac().startDate();
  EXPECT_GT(ranOut, 60);
  EXPECT_LT(ranOut, 12 * 3600);
  EXPECT_LE(ticks.back(), 60);  // nothing ran at the sleep's end
  simulation.runFor(2 * 3600);
  ASSERT_TRUE(simulation.mac().hibernations()[0].end);
  EXPECT_GT(ticks.back(), 14 * 3600);
}

// A scenario built in code may carry any date; the machine then starts at
// the default one rather than overflowing its stamps or freezing its clock.
TEST(SimulationTest, AStartDateOutOfRangeRunsAtTheDefaultDate) {
  for (double start : {1e19, -1e15, std::nan("")}) {
    Scenario scenario;
    scenario.machine.start = sys::Date{start};
    scenario.machine.backgroundDaemons = 0;
    Simulation simulation(scenario);
    EXPECT_EQ(simulation.loop().now().secondsSince1970, MachineSetup{}.start.secondsSince1970);
    simulation.runFor(60);
    EXPECT_NEAR(simulation.elapsed(), 60, 1e-6) << start;
    auto updated = simulation.mac().registry().property(1, "UpdateTime");
    ASSERT_TRUE(updated);
    EXPECT_NEAR(updated->get<double>(), MachineSetup{}.start.secondsSince1970 + 60, 1) << start;
  }
}

}  // namespace
}  // namespace ebbwise::sim

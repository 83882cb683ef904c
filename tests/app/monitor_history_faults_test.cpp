// A history file the monitor cannot use, or cannot use for a while, costs
// the figures that depend on it and nothing else.

#include <gtest/gtest.h>

#include <fstream>

#include "../support/history_test_support.h"
#include "app/monitor.h"
#include "sim/simulation.h"

namespace ebbwise {
namespace {

constexpr std::string_view kOnBattery = R"({
  "machine": {"backgroundDaemons": 0},
  "processes": [{"id": "render", "path": "/Applications/Render.app/Contents/MacOS/Render",
                 "cpu": 4, "fluctuation": 0}]
})";

sim::Scenario onBattery() {
  auto parsed = sim::Scenario::parse(kOnBattery, "test");
  EXPECT_TRUE(parsed) << parsed.error;
  return *parsed.scenario;
}

TEST(MonitorHistoryFaultsTest, AFileOfAnotherProgramLeavesTheLiveFigures) {
  test::TempFolder folder;
  const std::string path = folder.file("history.sqlite");
  std::ofstream(path) << "not a database, someone's notes";
  sim::Simulation simulation(onBattery());
  Monitor monitor(simulation.platform(), std::make_unique<Store>(path));
  int ticks = 0;
  monitor.setTickObserver([&] { ++ticks; });
  simulation.runFor(5 * 60);
  EXPECT_GE(ticks, 59);
  EXPECT_TRUE(monitor.nowDrain);
  ASSERT_TRUE(monitor.session);
  EXPECT_GT(monitor.session->appJoules.at("Render"), 0);
  monitor.setRange(HistoryRange::day);
  EXPECT_EQ(monitor.rangeJoules, 0);
  EXPECT_EQ(monitor.history.size(), 1u) << "only the live point";
  monitor.setRange(HistoryRange::session);
  ASSERT_FALSE(monitor.shares.empty());
  EXPECT_EQ(monitor.shares[0].name, "Render");
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "not a database, someone's notes") << "left untouched";
}

// Another process holds the write lock: the minutes wait in memory, the
// ranges read what is stored, and nothing is lost once the lock goes.
TEST(MonitorHistoryFaultsTest, ALockedFileKeepsTheMinutesUntilItIsFree) {
  test::TempFolder folder;
  const std::string path = folder.file("history.sqlite");
  sim::Simulation simulation(onBattery());
  auto store = std::make_unique<Store>(path);
  Monitor monitor(simulation.platform(), std::move(store));
  simulation.runFor(2 * 60 + 1);
  test::RawDatabase other(path);
  const double stored = other.number("SELECT count(*) FROM battery");
  EXPECT_GE(stored, 2);
  ASSERT_EQ(other.exec("BEGIN EXCLUSIVE"), 0);
  simulation.runFor(2 * 60);
  monitor.setRange(HistoryRange::day);
  EXPECT_GT(monitor.rangeJoules, 0) << "what was stored before still reads";
  EXPECT_TRUE(monitor.nowDrain);
  ASSERT_EQ(other.exec("COMMIT"), 0);
  simulation.runFor(60);
  EXPECT_GE(other.number("SELECT count(*) FROM battery"), stored + 3);
}

}  // namespace
}  // namespace ebbwise

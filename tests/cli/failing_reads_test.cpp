// The monitor on a simulated MacBook whose per-process energy reads fail now
// and then, as a real kernel's do: a process missing from a scan must cost at
// most the moment it was missing, never a second count of its past.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "app/monitor.h"
#include "cli/session_truth.h"
#include "history/store.h"
#include "sim/scenario.h"
#include "sim/simulation.h"
#include "support/history_test_support.h"

namespace ebbwise {
namespace {

constexpr double kJoulesPerWh = 3600;

TEST(FailingReadsTest, AppsMissingFromScansAreCountedOnceInTheSessionAndTheHistory) {
  auto parsed = sim::Scenario::embedded("default");
  ASSERT_TRUE(parsed) << parsed.error;
  parsed.scenario->machine.energyReadFailures = 0.05;
  test::TempFolder folder;
  const std::string path = folder.file("history.sqlite");

  sim::Simulation simulation(*parsed.scenario);
  auto monitor = std::make_unique<Monitor>(simulation.platform(), std::make_unique<Store>(path));
  SessionTruth truth(simulation.mac(), *monitor);
  monitor->setTickObserver([&] { truth.tick(); });
  simulation.runFor(3600);
  monitor->willTerminate();

  const Session& session = *monitor->session;
  int heavy = 0;
  double worst = 0;
  test::RawDatabase db(path);
  for (const auto& [row, rowTruth] : truth.rows()) {
    const double trueJoules = rowTruth.joules();
    if (trueJoules <= kJoulesPerWh) continue;
    ++heavy;
    ASSERT_TRUE(session.appJoules.contains(row)) << row;
    const double measured = session.appJoules.at(row);
    const double stored = db.number("SELECT SUM(joules) FROM app_energy WHERE app='" + row + "'");
    worst = std::max(worst, std::abs(measured - trueJoules) / trueJoules);
    // What a process used while missing counts when it is back, so only the
    // last moments of processes that ended while missing go uncounted.
    EXPECT_NEAR(measured, trueJoules, 0.005 * trueJoules) << row;
    EXPECT_NEAR(stored, measured, 1e-6 * measured) << row;
  }
  EXPECT_GE(heavy, 4);
  ::testing::Test::RecordProperty("appWorstRelativeError", std::to_string(worst));
}

}  // namespace
}  // namespace ebbwise

#include <gtest/gtest.h>

#include "sim/machine_fixture.h"

namespace ebbwise::sim {
namespace {

using testing::Machine;

// The per-tick row sums must be the full truth's, summed the same way: over
// processes that come and go, a reused pid, a sleep and the charger.
TEST(RowSnapshotTest, AgreesWithTheFullTruthAsProcessesComeAndGo) {
  auto parsed = Scenario::embedded("default");
  ASSERT_TRUE(parsed);
  Machine m(*parsed.scenario);
  RowSnapshot snapshot;
  const std::vector<std::string>& names = m.mac->rowNames();
  for (double hours : {0.0, 1.1, 1.44, 2.3, 3.2}) {
    m.advance(hours * 3600 - (m.clock.now() - parsed.scenario->machine.start));
    const TruthSnapshot full = m.mac->truth();
    m.mac->rowSnapshot(snapshot);
    EXPECT_EQ(snapshot.seconds, full.seconds);
    EXPECT_EQ(snapshot.systemJoules, full.systemJoules);
    ASSERT_EQ(snapshot.rows.size(), names.size());
    std::size_t used = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
      auto row = full.rows.find(names[i]);
      if (row == full.rows.end()) {
        // A row whose processes have not started yet.
        EXPECT_EQ(snapshot.rows[i].joules(), 0) << names[i];
        continue;
      }
      ++used;
      EXPECT_NEAR(snapshot.rows[i].cpuJoules, row->second.cpuJoules, 1e-9) << names[i];
      EXPECT_NEAR(snapshot.rows[i].gpuJoules, row->second.gpuJoules, 1e-9) << names[i];
    }
    EXPECT_EQ(used, full.rows.size()) << hours;
  }
}

}  // namespace
}  // namespace ebbwise::sim

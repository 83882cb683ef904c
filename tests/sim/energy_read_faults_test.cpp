// A process's energy read failing now and then, as on a real machine.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "machine_fixture.h"

namespace ebbwise::sim {
namespace {

using testing::Machine;
using testing::quietScenario;

// The scenario's own processes: the kernel refuses every energy read of
// another user's process, which is no failure of the kind tested here.
std::vector<sys::Pid> ownPids(Machine& m) {
  std::vector<sys::Pid> own;
  for (sys::Pid pid : m.pids()) {
    auto path = m.procs().executablePath(pid);
    if (path && path->starts_with("/bin/")) own.push_back(pid);
  }
  return own;
}

// Which reads of the scenario's processes fail over a minute, process by process.
std::map<sys::Pid, std::vector<int>> failures(Machine& m) {
  std::map<sys::Pid, std::vector<int>> failed;
  const std::vector<sys::Pid> own = ownPids(m);
  for (int second = 0; second < 60; ++second) {
    for (sys::Pid pid : own) {
      if (!m.procs().rusage(pid)) failed[pid].push_back(second);
    }
    m.advance(1);
  }
  return failed;
}

// The share of failing reads is the scenario's; the failures come from the
// machine's seed, never from how often it is asked; the process stays listed
// and its other calls answer.
TEST(EnergyReadFaultsTest, AShareOfReadsFailsAsTheSeedSays) {
  const std::string scenario = quietScenario(R"("energyReadFailures": 0.2)",
                                             R"("processes": [{"path": "/bin/a", "cpu": 1},
                                                              {"path": "/bin/b", "cpu": 1}])");
  Machine m(scenario);
  const auto pids = ownPids(m);
  ASSERT_EQ(pids.size(), 2u);
  const auto seen = failures(m);
  int failed = 0;
  for (const auto& [pid, seconds] : seen) failed += static_cast<int>(seconds.size());
  const int calls = static_cast<int>(pids.size()) * 60;
  EXPECT_NEAR(double(failed) / calls, 0.2, 0.08) << failed << " of " << calls;
  EXPECT_GE(seen.size(), 2u) << "more than one process fails";
  const sys::Pid some = seen.begin()->first;
  EXPECT_NE(std::find(pids.begin(), pids.end(), some), pids.end());
  EXPECT_TRUE(m.procs().executablePath(some) || m.procs().bsdInfo(some));

  Machine again(scenario);
  again.procs().rusage(some);  // an extra call changes nothing
  EXPECT_EQ(failures(again), seen);
  std::string reseeded = scenario;
  reseeded.replace(reseeded.find("\"seed\": 7"), 9, "\"seed\": 8");
  Machine other(reseeded);
  EXPECT_NE(failures(other), seen);

  Machine never(quietScenario());
  EXPECT_TRUE(failures(never).empty());

  auto tooMany = Scenario::parse(R"({"machine": {"energyReadFailures": 0.7}})", "test");
  ASSERT_FALSE(tooMany);
  EXPECT_NE(tooMany.error.find("machine.energyReadFailures"), std::string::npos) << tooMany.error;
}

}  // namespace
}  // namespace ebbwise::sim

// Which processes the stopper may signal, judged from what the kernel says
// of them and of this program.

#include "app/process_stopper.h"

#include <gtest/gtest.h>

#include "support/fake_processes.h"

namespace ebbwise {
namespace {

TEST(ProcessStopperTest, OnlyTheUsersOwnProcessesAsListed) {
  struct Case {
    const char* what;
    std::optional<std::uint32_t> ownUser;
    std::optional<std::uint32_t> processUser;
    std::uint64_t listedStart;
    bool allowed;
  };
  const Case cases[] = {
      {"the user's own process", 501, 501, 7, true},
      {"another user's", 501, 502, 7, false},
      {"root's, for a monitor running as the user", 501, 0, 7, false},
      {"root's, for a monitor running as root", 0, 0, 7, false},
      {"a pid now held by a newer process", 501, 501, 6, false},
      {"a provider that cannot tell users apart", std::nullopt, std::nullopt, 7, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::FakeProcesses processes;
    processes.ownUser = c.ownUser;
    sys::BSDInfo bsd;
    bsd.uid = c.processUser;
    processes.add({.pid = 400, .start = 7, .bsd = bsd});
    EXPECT_EQ(ProcessStopper::maySignal(processes, ProcessKey{400, c.listedStart}), c.allowed);
  }
}

}  // namespace
}  // namespace ebbwise

#include "cli/run_progress.h"

#include <gtest/gtest.h>

#include <vector>

namespace ebbwise {
namespace {

TEST(RunProgress, LineTellsHowFarTheRunHasComeAndHowLongItHasLeft) {
  EXPECT_EQ(RunProgress::line("simulated", 3600 * 28, 3 * 86400, 12),
            "simulated 1d4h of 3d \u00B7 38 % \u00B7 12s, about 19s to go");
  // No guess before there is a pace to go by, nor once it is done.
  EXPECT_EQ(RunProgress::line("simulated", 60, 86400, 0.4),
            "simulated 1m of 1d \u00B7 0 % \u00B7 0s");
  EXPECT_EQ(RunProgress::line("watched", 600, 600, 600),
            "watched 10m of 10m \u00B7 100 % \u00B7 10m");
  // A run of no length is done from the start.
  EXPECT_EQ(RunProgress::line("simulated", 0, 0, 1), "simulated 0s of 0s \u00B7 100 % \u00B7 1s");
}

TEST(RunProgress, StepsReachTheEndAndFollowARunThatSleptPastAStep) {
  std::vector<double> asked;
  runInSteps(2000, 900, nullptr, [&](double until) {
    asked.push_back(until);
    // The machine slept through the first step and woke at 1500 s.
    return asked.size() == 1 ? 1500.0 : until;
  });
  EXPECT_EQ(asked, (std::vector<double>{900, 2000}));

  asked.clear();
  runInSteps(0, 900, nullptr, [&](double until) {
    asked.push_back(until);
    return until;
  });
  EXPECT_TRUE(asked.empty());
}

}  // namespace
}  // namespace ebbwise

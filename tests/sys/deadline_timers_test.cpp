#include "sys/deadline_timers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace ebbwise::sys {
namespace {

using std::chrono::milliseconds;
using Duration = DeadlineTimers::Duration;

// A made-up timeline, so nothing here depends on the real clock.
DeadlineTimers::TimePoint at(int ms) {
  return DeadlineTimers::TimePoint(std::chrono::hours(1)) + milliseconds(ms);
}

TEST(DeadlineTimersTest, FiresInDeadlineOrderRepeatsOnTheGridAndCancels) {
  DeadlineTimers timers;
  std::vector<int> fired;
  timers.add(1, at(1000), milliseconds(1000), milliseconds(200), [&] { fired.push_back(1); });
  timers.add(2, at(1500), Duration::zero(), Duration::zero(), [&] { fired.push_back(2); });
  timers.add(3, at(1500), Duration::zero(), Duration::zero(), [&] { fired.push_back(3); });
  // Late firings do not shift the grid, and a long stall fires once, not in a burst.
  struct Step {
    int nowMs;
    std::vector<int> fired;
  };
  for (const Step& step : {Step{999, {}},
                           {1300, {1}},
                           {1999, {1, 2, 3}},
                           {2000, {1, 2, 3, 1}},
                           {5500, {1, 2, 3, 1, 1}},
                           {5999, {1, 2, 3, 1, 1}}}) {
    SCOPED_TRACE(step.nowMs);
    while (auto task = timers.popDue(at(step.nowMs))) (*task)();
    EXPECT_EQ(fired, step.fired);
  }
  EXPECT_EQ(timers.wakeTime(), at(6000));
  auto running = timers.popDue(at(6000));  // re-armed before it is handed out
  EXPECT_NE(timers.cancel(1), nullptr);    // so its own task can cancel it
  EXPECT_EQ(timers.cancel(1), nullptr);
  (*running)();  // and it outlives the cancellation while it runs
  EXPECT_EQ(timers.popDue(at(99'000)), nullptr);
  EXPECT_EQ(timers.wakeTime(), std::nullopt);
}

TEST(DeadlineTimersTest, WakesAreCoalescedWithinTolerance) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> timers;  // deadline, tolerance (ms)
    int wakeMs;
  };
  const Case cases[] = {
      {"a lone timer fires on time", {{5000, 1000}}, 5000},
      {"a tolerant timer waits for a later one", {{5000, 1000}, {5500, 0}}, 5500},
      {"but not beyond its tolerance", {{5000, 1000}, {7000, 0}}, 5000},
      {"the tightest tolerance bounds the wake", {{5000, 150}, {5100, 1000}, {5200, 0}}, 5100},
      {"a strict timer is never late", {{5000, 0}, {4000, 2000}}, 5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeadlineTimers timers;
    TaskID id = 1;
    for (auto [deadline, tolerance] : c.timers) {
      timers.add(id++, at(deadline), Duration::zero(), milliseconds(tolerance), [] {});
    }
    EXPECT_EQ(timers.wakeTime(), at(c.wakeMs));
  }
}

TEST(DeadlineTimersTest, SpansFromNonsenseAreSafe) {
  EXPECT_EQ(DeadlineTimers::span(std::nan("")), Duration::zero());
  EXPECT_EQ(DeadlineTimers::span(-1), Duration::zero());
  EXPECT_EQ(DeadlineTimers::period(0), milliseconds(1));
  Duration never = DeadlineTimers::span(std::numeric_limits<double>::infinity());
  EXPECT_GT(never, std::chrono::hours(24 * 365 * 99));
  EXPECT_GT(at(0) + never + never, at(0));  // no overflow
}

}  // namespace
}  // namespace ebbwise::sys

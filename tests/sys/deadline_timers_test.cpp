#include "sys/deadline_timers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace ebbwise::sys {
namespace {

using std::chrono::milliseconds;
using TimePoint = DeadlineTimers::TimePoint;
using Duration = DeadlineTimers::Duration;

// Time points on a made-up timeline, so nothing here depends on the real clock.
const TimePoint t0 = TimePoint(std::chrono::hours(1));
TimePoint at(int ms) {
  return t0 + milliseconds(ms);
}

// Pops every timer due at `now` and returns their names, in firing order.
std::vector<std::string> fire(DeadlineTimers& timers, TimePoint now,
                              std::vector<std::string>& log) {
  log.clear();
  while (auto task = timers.popDue(now)) (*task)();
  return log;
}

TEST(DeadlineTimersTest, FiresByDeadlineThenInsertionOrder) {
  DeadlineTimers timers;
  std::vector<std::string> log;
  auto named = [&](std::string name) { return [&log, name] { log.push_back(name); }; };
  timers.add(1, at(30), Duration::zero(), Duration::zero(), named("c"));
  timers.add(2, at(10), Duration::zero(), Duration::zero(), named("a"));
  timers.add(3, at(30), Duration::zero(), Duration::zero(), named("d"));
  timers.add(4, at(20), Duration::zero(), Duration::zero(), named("b"));
  EXPECT_EQ(fire(timers, at(9), log), std::vector<std::string>{});
  EXPECT_EQ(fire(timers, at(20), log), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(fire(timers, at(100), log), (std::vector<std::string>{"c", "d"}));
  EXPECT_EQ(timers.size(), 0u);
}

TEST(DeadlineTimersTest, RepeatingTimersStayOnTheirGridAndSkipMissedFirings) {
  DeadlineTimers timers;
  int fired = 0;
  timers.add(1, at(1000), milliseconds(1000), milliseconds(200), [&] { ++fired; });
  struct Step {
    int nowMs;
    int firedAfter;
  };
  // Late firings do not shift the grid, and a long stall fires once, not in a burst.
  for (Step step :
       {Step{999, 0}, {1300, 1}, {1999, 1}, {2000, 2}, {5500, 3}, {5999, 3}, {6000, 4}}) {
    SCOPED_TRACE(step.nowMs);
    while (auto task = timers.popDue(at(step.nowMs))) (*task)();
    EXPECT_EQ(fired, step.firedAfter);
  }
  EXPECT_EQ(timers.wakeTime(), at(7000));
}

TEST(DeadlineTimersTest, CancelWorksBeforeAndWhileFiring) {
  DeadlineTimers timers;
  int fired = 0;
  timers.add(1, at(10), milliseconds(10), Duration::zero(), [&] { ++fired; });
  timers.add(2, at(5), Duration::zero(), Duration::zero(), [&] { ++fired; });
  EXPECT_NE(timers.cancel(2), nullptr);
  EXPECT_EQ(timers.cancel(2), nullptr);
  EXPECT_EQ(timers.cancel(99), nullptr);

  auto running = timers.popDue(at(10));  // re-armed before it is handed out
  ASSERT_NE(running, nullptr);
  EXPECT_NE(timers.cancel(1), nullptr);  // cancelled by its own task
  (*running)();                          // the task stays alive while it runs
  EXPECT_EQ(timers.popDue(at(1000)), nullptr);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(timers.wakeTime(), std::nullopt);
}

TEST(DeadlineTimersTest, WakesAreCoalescedWithinTolerance) {
  struct Timer {
    int deadlineMs;
    int toleranceMs;
  };
  struct Case {
    const char* name;
    std::vector<Timer> timers;
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
    for (Timer t : c.timers) {
      timers.add(id++, at(t.deadlineMs), Duration::zero(), milliseconds(t.toleranceMs), [] {});
    }
    EXPECT_EQ(timers.wakeTime(), at(c.wakeMs));
  }
}

TEST(DeadlineTimersTest, SpansFromNonsenseAreSafe) {
  EXPECT_EQ(DeadlineTimers::span(std::nan("")), Duration::zero());
  EXPECT_EQ(DeadlineTimers::span(-1), Duration::zero());
  EXPECT_EQ(DeadlineTimers::span(0.25), milliseconds(250));
  EXPECT_EQ(DeadlineTimers::period(0), milliseconds(1));
  EXPECT_EQ(DeadlineTimers::period(std::nan("")), milliseconds(1));
  // "Never" stays far in the future without overflowing a time point.
  Duration never = DeadlineTimers::span(std::numeric_limits<double>::infinity());
  EXPECT_GT(never, std::chrono::hours(24 * 365 * 99));
  EXPECT_GT(t0 + never + never, t0);
}

}  // namespace
}  // namespace ebbwise::sys

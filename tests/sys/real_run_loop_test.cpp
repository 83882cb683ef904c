#include "sys/real_run_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <memory>
#include <numeric>
#include <thread>
#include <vector>

#include "sys/deadline_timers.h"
#include "sys/real_serial_queue.h"

// These run on a busy machine: waits are bounded generously, runs end by
// stop() once the awaited event happened, and timing is only checked as "not
// too early".

namespace ebbwise::sys {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;
constexpr double generous = 30.0;  // seconds; reached only when something is broken

double secondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// Waits (boundedly) until the last owner of what `watch` observes lets it go.
bool released(const std::weak_ptr<int>& watch) {
  for (int i = 0; i < 3000 && !watch.expired(); ++i) std::this_thread::sleep_for(10ms);
  return watch.expired();
}

std::vector<int> upTo(int n) {
  std::vector<int> result(n);
  std::iota(result.begin(), result.end(), 0);
  return result;
}

using std::chrono::milliseconds;
using Duration = DeadlineTimers::Duration;
using Fired = std::vector<int>;

// A made-up timeline, so nothing here depends on the real clock.
DeadlineTimers::TimePoint at(int ms) {
  return DeadlineTimers::TimePoint(std::chrono::hours(1)) + milliseconds(ms);
}

TEST(DeadlineTimersTest, FiresInDeadlineOrderRepeatsOnTheGridAndCancels) {
  DeadlineTimers timers;
  Fired fired;
  timers.add(1, at(1000), milliseconds(1000), milliseconds(200), [&] { fired.push_back(1); });
  timers.add(2, at(1500), Duration::zero(), Duration::zero(), [&] { fired.push_back(2); });
  timers.add(3, at(1500), Duration::zero(), Duration::zero(), [&] { fired.push_back(3); });
  // Late firings do not shift the grid, and a long stall fires once, not in a burst.
  const std::pair<int, Fired> steps[] = {
      {1300, {1}}, {1999, {1, 2, 3}}, {2000, {1, 2, 3, 1}}, {5500, {1, 2, 3, 1, 1}}};
  for (const auto& [nowMs, expected] : steps) {
    while (auto task = timers.popDue(at(nowMs))) (*task)();
    EXPECT_EQ(fired, expected) << nowMs;
  }
  EXPECT_EQ(timers.wakeTime(), at(6000));
  auto running = timers.popDue(at(6000));  // re-armed before it is handed out
  EXPECT_NE(timers.cancel(1), nullptr);    // so its own task can cancel it
  EXPECT_EQ(timers.cancel(1), nullptr);
  (*running)();  // and it outlives the cancellation while it runs
  EXPECT_EQ(timers.wakeTime(), std::nullopt);
}

TEST(DeadlineTimersTest, WakesAreCoalescedWithinTolerance) {
  // (deadline, tolerance) in ms → wake: a tolerant timer waits for a later one,
  // but not beyond its tolerance; the tightest tolerance bounds the wake; a
  // strict timer is never late.
  using Timers = std::vector<std::pair<int, int>>;
  for (const auto& [list, wakeMs] : {std::pair{Timers{{5000, 1000}, {5500, 0}}, 5500},
                                     {Timers{{5000, 1000}, {7000, 0}}, 5000},
                                     {Timers{{5000, 150}, {5100, 1000}, {5200, 0}}, 5100},
                                     {Timers{{5000, 0}, {4000, 2000}}, 5000}}) {
    DeadlineTimers timers;
    for (auto [ms, tolerance] : list) timers.add(ms, at(ms), {}, milliseconds(tolerance), [] {});
    EXPECT_EQ(timers.wakeTime(), at(wakeMs)) << wakeMs;
  }
}

TEST(DeadlineTimersTest, SpansFromNonsenseAreSafe) {
  EXPECT_EQ(DeadlineTimers::span(std::nan("")), Duration::zero());
  EXPECT_EQ(DeadlineTimers::period(0), milliseconds(1));
  Duration never = DeadlineTimers::span(INFINITY);
  EXPECT_GT(never, std::chrono::hours(24 * 365 * 99));
  EXPECT_GT(at(0) + never + never, at(0));  // no overflow
}

TEST(RealRunLoopTest, PostedWorkRunsInOrderAndStopKeepsTheRest) {
  RealRunLoop loop;
  loop.stop();
  loop.run();  // a stop from before the run is not lost (else this hangs)
  std::vector<int> seen;
  std::thread poster([&] {
    for (int i = 0; i < 200; ++i) loop.post([&seen, i] { seen.push_back(i); });
    loop.post([&] { loop.stop(); });
    loop.post([&] { seen.push_back(200); });
  });
  loop.runFor(generous);
  poster.join();
  EXPECT_EQ(seen, upTo(200));
  loop.post([&] { loop.stop(); });
  loop.runFor(generous);  // what the stop left runs in the next run
  EXPECT_EQ(seen, upTo(201));
}

TEST(RealRunLoopTest, TimersRepeatNoEarlierThanDueUntilCancelled) {
  RealRunLoop loop;
  const auto start = SteadyClock::now();
  int repeats = 0, cancelledRuns = 0;
  TaskID self = 0, later = 0;
  self = loop.scheduleRepeating(0.02, 0.01, [&] {
    if (++repeats < 3) return;
    EXPECT_GE(secondsSince(start), 0.06);
    loop.cancel(self);
    loop.scheduleAfter(0.1, [&] { loop.stop(); });  // time for a stray firing
  });
  loop.cancel(loop.scheduleAfter(0.01, [&] { ++cancelledRuns; }));
  loop.scheduleAfter(0.02, [&] { loop.cancel(later); });
  later = loop.scheduleAfter(0.05, [&] { ++cancelledRuns; });
  loop.runFor(generous);
  EXPECT_EQ(repeats, 3);
  EXPECT_EQ(cancelledRuns, 0);
}

TEST(RealSerialQueueTest, WorkKeepsItsOrderAndTimersRunOnTheWorker) {
  RealSerialQueue queue("q");
  std::vector<int> seen;  // touched only by the worker until sync returns
  for (int i = 0; i < 50; ++i) queue.async([&seen, i] { seen.push_back(i); });
  queue.async([&] {
    queue.sync([&] { seen.push_back(50); });  // from its own work: at once, not waiting for itself
    seen.push_back(51);
  });
  queue.sync([&] { seen.push_back(52); });
  EXPECT_EQ(seen, upTo(53));

  std::promise<std::thread::id> repeated;  // a timer's work runs on the worker
  auto firedOn = repeated.get_future();
  TaskID id = queue.scheduleRepeating(0.01, 0.01, 0, [&, n = 0]() mutable {
    if (++n == 2) repeated.set_value(std::this_thread::get_id());
  });
  ASSERT_EQ(firedOn.wait_for(30s), std::future_status::ready);
  queue.cancel(id);
  queue.sync([] {});
  EXPECT_NE(firedOn.get(), std::this_thread::get_id());
}

TEST(RealSerialQueueTest, DestructionFinishesTheRunningItemAndDropsTheRest) {
  auto queue = std::make_unique<RealSerialQueue>("q");
  auto pending = std::make_shared<int>(0), timer = std::make_shared<int>(0);
  std::weak_ptr<int> pendingWatch = pending, timerWatch = timer;
  std::promise<void> started;
  auto running = started.get_future();
  std::atomic<bool> finished = false, droppedRan = false;
  queue->scheduleRepeating(1000, 1000, 0, [timer] {});
  queue->async([&] {
    started.set_value();
    released(pendingWatch);  // holds on until the destructor has dropped the pending item
    finished = true;
  });
  queue->async([&droppedRan, pending] { droppedRan = true; });
  pending.reset();
  timer.reset();
  ASSERT_EQ(running.wait_for(30s), std::future_status::ready);
  queue.reset();
  EXPECT_TRUE(finished);
  EXPECT_FALSE(droppedRan);
  EXPECT_TRUE(timerWatch.expired());

  // From its own work the queue cannot join its thread; the worker ends alone.
  queue = std::make_unique<RealSerialQueue>("q");
  auto token = std::make_shared<int>(0);
  std::weak_ptr<int> watch = token;
  std::promise<void> destroyed;
  auto gone = destroyed.get_future();
  queue->async([&queue, &destroyed, token] {
    queue.reset();
    destroyed.set_value();
  });
  token.reset();
  ASSERT_EQ(gone.wait_for(30s), std::future_status::ready);
  EXPECT_TRUE(released(watch));
}

}  // namespace
}  // namespace ebbwise::sys

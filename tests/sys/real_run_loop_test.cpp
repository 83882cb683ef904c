#include "sys/real_run_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sys/real_serial_queue.h"

// These tests run on a busy machine: they bound waits generously, end runs by
// stop() as soon as the awaited event happened, and never assert that
// something happened within a time, only that it did not happen too early.

namespace ebbwise::sys {
namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr double generous = 30.0;  // seconds; only reached when something is broken

double secondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// A flag one thread raises and another waits for, with a bound.
class Flag {
 public:
  void raise() {
    std::lock_guard lock(mutex_);
    raised_ = true;
    changed_.notify_all();
  }
  bool waitFor(std::chrono::seconds limit = 30s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return raised_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool raised_ = false;
};

TEST(RealRunLoopTest, PostWakesTheLoopFromOtherThreadsInPostingOrder) {
  RealRunLoop loop;
  std::vector<int> seen;
  std::thread poster([&] {
    for (int i = 0; i < 200; ++i) loop.post([&seen, i] { seen.push_back(i); });
    loop.post([&] { loop.stop(); });
  });
  loop.runFor(generous);
  poster.join();
  ASSERT_EQ(seen.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(seen[i], i);
}

TEST(RealRunLoopTest, StopBeforeRunIsNotLost) {
  RealRunLoop loop;
  loop.stop();
  // A lost stop would leave run() waiting for ever; the watchdog ends it.
  std::atomic<bool> finished = false;
  std::thread watchdog([&] {
    for (int i = 0; i < 300 && !finished; ++i) std::this_thread::sleep_for(100ms);
    if (!finished) loop.stop();
  });
  auto start = SteadyClock::now();
  loop.run();
  finished = true;
  watchdog.join();
  EXPECT_LT(secondsSince(start), 25.0);

  // The stop was used up: the next run goes on until the next stop.
  int ran = 0;
  loop.scheduleAfter(0.01, [&] {
    ++ran;
    loop.stop();
  });
  loop.runFor(generous);
  EXPECT_EQ(ran, 1);
}

TEST(RealRunLoopTest, StopLeavesTheRestOfThePostedWorkForTheNextRun) {
  RealRunLoop loop;
  std::vector<int> seen;
  loop.post([&] { seen.push_back(1); });
  loop.post([&] {
    seen.push_back(2);
    loop.stop();
  });
  loop.post([&] { seen.push_back(3); });
  loop.runFor(generous);
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
  loop.post([&] { loop.stop(); });
  loop.runFor(generous);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

TEST(RealRunLoopTest, TimersFireNoEarlierThanTheirDeadlines) {
  RealRunLoop loop;
  auto start = SteadyClock::now();
  std::vector<double> repeats;
  double delayedAt = -1;
  TaskID repeating = loop.scheduleRepeating(0.02, 0.01, [&] {
    repeats.push_back(secondsSince(start));
    if (repeats.size() == 5) loop.stop();
  });
  loop.scheduleAfter(0.03, [&] { delayedAt = secondsSince(start); });
  loop.runFor(generous);
  loop.cancel(repeating);
  ASSERT_EQ(repeats.size(), 5u);
  for (std::size_t k = 0; k < repeats.size(); ++k) EXPECT_GE(repeats[k], 0.02 * (k + 1)) << k;
  EXPECT_GE(delayedAt, 0.03);
}

TEST(RealRunLoopTest, TolerantTimerJoinsALaterDeadlineWithinItsTolerance) {
  RealRunLoop loop;
  auto start = SteadyClock::now();
  std::vector<std::string> order;
  double tolerantAt = 0;
  loop.scheduleRepeating(0.2, 0.5, [&] {
    order.push_back("tolerant");
    tolerantAt = secondsSince(start);
  });
  loop.scheduleAfter(0.4, [&] {
    order.push_back("strict");
    loop.stop();
  });
  loop.runFor(generous);
  // One wake served both, and the tolerant timer was held back to the strict one.
  EXPECT_EQ(order, (std::vector<std::string>{"tolerant", "strict"}));
  EXPECT_GE(tolerantAt, 0.4);
}

TEST(RealRunLoopTest, Cancellation) {
  RealRunLoop loop;
  int cancelledRuns = 0;
  int selfCount = 0;
  TaskID before = loop.scheduleAfter(0.01, [&] { ++cancelledRuns; });
  loop.cancel(before);
  auto later = std::make_shared<TaskID>();
  loop.scheduleAfter(0.02, [&loop, later] { loop.cancel(*later); });
  *later = loop.scheduleAfter(0.05, [&] { ++cancelledRuns; });
  auto self = std::make_shared<TaskID>();
  *self = loop.scheduleRepeating(0.01, 0, [&loop, &selfCount, self] {
    if (++selfCount == 3) loop.cancel(*self);
  });
  loop.cancel(0);
  loop.cancel(12345);
  loop.scheduleAfter(0.2, [&] { loop.stop(); });
  loop.runFor(generous);
  EXPECT_EQ(cancelledRuns, 0);
  EXPECT_EQ(selfCount, 3);
}

// Records what the loop asks of its waiter, on top of the default one.
class RecordingWaiter final : public RunLoopWaiter {
 public:
  explicit RecordingWaiter(std::atomic<int>& waits) : waits_(waits) {}
  void wait(std::optional<TimePoint> deadline) override {
    ++waits_;
    inner_.wait(deadline);
  }
  void wake() override { inner_.wake(); }

 private:
  std::atomic<int>& waits_;
  ConditionWaiter inner_;
};

TEST(RealRunLoopTest, SleepsInTheGivenWaiter) {
  std::atomic<int> waits = 0;
  RealRunLoop loop(std::make_unique<RecordingWaiter>(waits));
  std::thread poster([&] {
    std::this_thread::sleep_for(20ms);
    loop.post([&] { loop.stop(); });
  });
  loop.runFor(generous);
  poster.join();
  EXPECT_GE(waits.load(), 1);
}

TEST(RealRunLoopTest, QueueResultsComeBackToTheLoop) {
  RealRunLoop loop;
  auto queue = loop.makeSerialQueue("ebbwise.devices");
  EXPECT_EQ(queue->label(), "ebbwise.devices");
  auto loopThread = std::this_thread::get_id();
  std::thread::id workedOn;
  std::thread::id answeredOn;
  queue->async([&] {
    workedOn = std::this_thread::get_id();
    loop.post([&] {
      answeredOn = std::this_thread::get_id();
      loop.stop();
    });
  });
  loop.runFor(generous);
  EXPECT_NE(workedOn, loopThread);
  EXPECT_EQ(answeredOn, loopThread);
  // Ids are unique across the loop and its queues.
  TaskID loopTimer = loop.scheduleAfter(100, [] {});
  TaskID queueTimer = queue->scheduleRepeating(100, 100, 0, [] {});
  EXPECT_NE(loopTimer, queueTimer);
}

TEST(RealSerialQueueTest, SyncWaitsForEarlierWorkThenItsOwn) {
  RealSerialQueue queue("q");
  std::vector<int> seen;  // touched only by the worker until sync returns
  for (int i = 0; i < 100; ++i) queue.async([&seen, i] { seen.push_back(i); });
  queue.sync([&] { seen.push_back(100); });
  ASSERT_EQ(seen.size(), 101u);
  for (int i = 0; i <= 100; ++i) EXPECT_EQ(seen[i], i);
}

TEST(RealSerialQueueTest, SyncFromItsOwnWorkRunsInline) {
  RealSerialQueue queue("q");
  std::vector<std::string> order;
  queue.async([&] {
    order.push_back("outer");
    queue.sync([&] { order.push_back("inner"); });
    order.push_back("outer end");
  });
  queue.sync([] {});
  EXPECT_EQ(order, (std::vector<std::string>{"outer", "inner", "outer end"}));
}

TEST(RealSerialQueueTest, TimersRunOnTheWorkerNoEarlierThanDue) {
  RealSerialQueue queue("meter");
  auto start = SteadyClock::now();
  std::mutex mutex;
  std::vector<double> firings;
  std::thread::id firedOn;
  Flag three;
  TaskID id = queue.scheduleRepeating(0.03, 0.02, 0.01, [&] {
    std::lock_guard lock(mutex);
    firedOn = std::this_thread::get_id();
    firings.push_back(secondsSince(start));
    if (firings.size() == 3) three.raise();
  });
  ASSERT_TRUE(three.waitFor());
  queue.cancel(id);
  queue.sync([] {});
  std::lock_guard lock(mutex);
  std::size_t count = firings.size();
  EXPECT_GE(count, 3u);
  EXPECT_NE(firedOn, std::this_thread::get_id());
  for (std::size_t k = 0; k < count; ++k) EXPECT_GE(firings[k], 0.03 + 0.02 * k) << k;
}

TEST(RealSerialQueueTest, DestructionFinishesTheRunningItemAndDropsTheRest) {
  auto queue = std::make_unique<RealSerialQueue>("q");
  auto pendingToken = std::make_shared<int>(0);
  auto timerToken = std::make_shared<int>(0);
  std::weak_ptr<int> pendingWatch = pendingToken;
  std::weak_ptr<int> timerWatch = timerToken;
  Flag started;
  std::atomic<bool> finished = false;
  std::atomic<bool> droppedRan = false;
  queue->scheduleRepeating(1000, 1000, 0, [timerToken] {});
  queue->async([&] {
    started.raise();
    // Holds on until the destructor has dropped the pending item.
    for (int i = 0; i < 3000 && !pendingWatch.expired(); ++i) std::this_thread::sleep_for(10ms);
    finished = true;
  });
  queue->async([&droppedRan, pendingToken] { droppedRan = true; });
  pendingToken.reset();
  timerToken.reset();
  ASSERT_TRUE(started.waitFor());
  queue.reset();
  EXPECT_TRUE(finished);
  EXPECT_FALSE(droppedRan);
  EXPECT_TRUE(pendingWatch.expired());
  EXPECT_TRUE(timerWatch.expired());
}

TEST(RealSerialQueueTest, MayBeDestroyedFromItsOwnWork) {
  auto queue = std::make_unique<RealSerialQueue>("q");
  auto token = std::make_shared<int>(0);
  std::weak_ptr<int> watch = token;
  Flag destroyed;
  queue->async([&queue, &destroyed, token] {
    queue.reset();  // may not join its own thread
    destroyed.raise();
  });
  token.reset();
  ASSERT_TRUE(destroyed.waitFor());
  EXPECT_EQ(queue, nullptr);
  // The worker lets go of the item once it returns, then ends on its own.
  for (int i = 0; i < 3000 && !watch.expired(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace ebbwise::sys

#include "sys/real_run_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sys/real_serial_queue.h"

// These run on a busy machine: waits are bounded generously, runs end by
// stop() once the awaited event happened, and timing is only checked as "not
// too early".

namespace ebbwise::sys {
namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;
constexpr double generous = 30.0;  // seconds; reached only when something is broken

double secondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

bool arrives(std::future<void>& signal) {
  return signal.wait_for(30s) == std::future_status::ready;
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
  ASSERT_EQ(seen.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(seen[i], i);
  loop.post([&] { loop.stop(); });
  loop.runFor(generous);  // what the stop left runs in the next run
  EXPECT_EQ(seen.size(), 201u);
}

TEST(RealRunLoopTest, TimersFireNoEarlierThanDueAndCancelCleanly) {
  RealRunLoop loop;
  auto start = SteadyClock::now();
  std::vector<double> repeats;
  double delayedAt = -1;
  int cancelledRuns = 0;
  TaskID self = 0, later = 0;
  self = loop.scheduleRepeating(0.02, 0.01, [&] {
    repeats.push_back(secondsSince(start));
    if (repeats.size() < 3) return;
    loop.cancel(self);
    loop.stop();
  });
  loop.scheduleAfter(0.03, [&] { delayedAt = secondsSince(start); });
  loop.cancel(loop.scheduleAfter(0.01, [&] { ++cancelledRuns; }));
  loop.scheduleAfter(0.02, [&] { loop.cancel(later); });
  later = loop.scheduleAfter(0.05, [&] { ++cancelledRuns; });
  loop.runFor(generous);
  loop.scheduleAfter(0.1, [&] { loop.stop(); });
  loop.runFor(generous);  // the cancelled timers stay silent
  EXPECT_EQ(cancelledRuns, 0);
  ASSERT_EQ(repeats.size(), 3u);
  for (std::size_t k = 0; k < repeats.size(); ++k) EXPECT_GE(repeats[k], 0.02 * (k + 1)) << k;
  EXPECT_GE(delayedAt, 0.03);
  auto queue = loop.makeSerialQueue("q");  // ids are unique across a loop and its queues
  EXPECT_NE(loop.scheduleAfter(100, [] {}), queue->scheduleRepeating(100, 100, 0, [] {}));
}

TEST(RealSerialQueueTest, SyncRunsAfterEarlierWorkAndInlineFromItsOwnWork) {
  RealSerialQueue queue("q");
  std::vector<std::string> seen;  // touched only by the worker until sync returns
  for (int i = 0; i < 50; ++i) queue.async([&seen] { seen.push_back("work"); });
  queue.async([&] {
    queue.sync([&] { seen.push_back("inline"); });  // would wait for itself
    seen.push_back("after inline");
  });
  queue.sync([&] { seen.push_back("sync"); });
  ASSERT_EQ(seen.size(), 53u);
  EXPECT_EQ(std::vector<std::string>(seen.begin() + 50, seen.end()),
            (std::vector<std::string>{"inline", "after inline", "sync"}));
}

TEST(RealSerialQueueTest, TimersRunOnTheWorkerNoEarlierThanDue) {
  RealSerialQueue queue("meter");
  auto start = SteadyClock::now();
  std::mutex mutex;
  std::vector<double> firings;
  std::thread::id firedOn;
  std::promise<void> three;
  auto threeFired = three.get_future();
  TaskID id = queue.scheduleRepeating(0.03, 0.02, 0.01, [&] {
    std::lock_guard lock(mutex);
    firedOn = std::this_thread::get_id();
    firings.push_back(secondsSince(start));
    if (firings.size() == 3) three.set_value();
  });
  ASSERT_TRUE(arrives(threeFired));
  queue.cancel(id);
  queue.sync([] {});
  std::lock_guard lock(mutex);
  EXPECT_NE(firedOn, std::this_thread::get_id());
  for (std::size_t k = 0; k < firings.size(); ++k) EXPECT_GE(firings[k], 0.03 + 0.02 * k) << k;
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
    // Holds on until the destructor has dropped the pending item.
    for (int i = 0; i < 3000 && !pendingWatch.expired(); ++i) std::this_thread::sleep_for(10ms);
    finished = true;
  });
  queue->async([&droppedRan, pending] { droppedRan = true; });
  pending.reset();
  timer.reset();
  ASSERT_TRUE(arrives(running));
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
  ASSERT_TRUE(arrives(gone));
  for (int i = 0; i < 3000 && !watch.expired(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace ebbwise::sys

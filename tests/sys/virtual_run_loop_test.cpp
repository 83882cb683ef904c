#include "sys/virtual_run_loop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numeric>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace ebbwise::sys {
namespace {

using Names = std::vector<std::string>;
constexpr Date start{1'767'225'600.0};

// Records which task ran and when, as "name@seconds since start".
struct Log {
  explicit Log(const VirtualRunLoop& loop) : loop(loop) {}
  const VirtualRunLoop& loop;
  Names ran;
  Task task(std::string name) {
    return [this, name] {
      std::ostringstream entry;
      entry << name << "@" << loop.now() - start;
      ran.push_back(entry.str());
    };
  }
};

TEST(VirtualRunLoopTest, RunsEventsByDueTimeThenSchedulingOrderAndHonoursCancels) {
  VirtualRunLoop loop(start);
  Log log(loop);
  for (auto [delay, name] : {std::pair{3.0, "c"}, {1.0, "a"}, {0.0, "now"}, {1.0, "b"}}) {
    loop.scheduleAfter(delay, log.task(name));
  }
  loop.post(log.task("posted"));
  loop.scheduleAfter(2, [&] {
    loop.post(log.task("late"));  // after what is already due at 2
    log.task("x")();
  });
  loop.scheduleAfter(2, log.task("y"));
  // Cancelled before it is due, by an earlier event of the same time, from inside itself.
  loop.cancel(loop.scheduleAfter(1, log.task("cancelled before")));
  TaskID sameTime = 0, self = 0;
  loop.scheduleAfter(2, [&] { loop.cancel(sameTime); });
  sameTime = loop.scheduleAfter(2, log.task("cancelled by an earlier event"));
  self = loop.scheduleRepeating(1, 0, [&, n = 0]() mutable {
    if (++n == 3) loop.cancel(self);
  });
  loop.runFor(2.9);
  loop.runUntilIdle();                         // nothing is due: the clock stays
  EXPECT_NEAR(loop.now() - start, 2.9, 1e-6);  // a date holds about 0.2 µs
  loop.runFor(0.1);                            // the end of the span is inclusive
  EXPECT_EQ(log.ran, (Names{"now@0", "posted@0", "a@1", "b@1", "x@2", "y@2", "late@2", "c@3"}));
  loop.runUntil(start + 1);  // in the past: nothing moves
  EXPECT_EQ(loop.pendingEvents(), 0u);
}

TEST(VirtualRunLoopTest, RepeatingTimersKeepTheirGridAndNonsenseSpansCannotHangTheLoop) {
  VirtualRunLoop loop(start);
  int tenths = 0, ticks = 0;  // small steps add up exactly, so this fires in every step
  loop.scheduleRepeating(0.1, 0, [&] { ++tenths; });
  for (int i = 0; i < 1000; ++i) loop.runFor(0.1);
  EXPECT_EQ(tenths, 1000);
  VirtualRunLoop day(start);
  day.scheduleRepeating(5, 1, [&] { ++ticks; });
  day.runFor(86'400);
  EXPECT_EQ(ticks, 17'280);

  VirtualRunLoop blocking(start);  // a handler that blocks on virtual time keeps the grid
  Log log(blocking);
  blocking.scheduleRepeating(5, 1, [&] {
    log.task("tick")();
    blocking.runFor(2);
  });
  blocking.runFor(15);
  EXPECT_EQ(log.ran, (Names{"tick@5", "tick@10", "tick@15"}));

  VirtualRunLoop nonsense(start);
  Log spans(nonsense);
  nonsense.scheduleAfter(std::nan(""), spans.task("nan"));
  nonsense.scheduleAfter(-3, spans.task("negative"));
  nonsense.scheduleAfter(INFINITY, spans.task("never"));
  int fast = 0;  // a zero interval would pin the clock to one instant
  nonsense.scheduleRepeating(0, 0, [&] { ++fast; });
  nonsense.runFor(std::nan(""));
  nonsense.runFor(-1);
  EXPECT_EQ(nonsense.now(), start);
  nonsense.runFor(1);
  EXPECT_EQ(spans.ran, (Names{"nan@0", "negative@0"}));
  EXPECT_EQ(fast, static_cast<int>(1 / VirtualRunLoop::minimumInterval));
}

TEST(VirtualRunLoopTest, PostIsSafeFromOtherThreadsAndKeepsEachThreadsOrder) {
  VirtualRunLoop loop(start);
  constexpr int threads = 4, perThread = 500;
  std::vector<int> next(threads, 0);
  std::vector<std::thread> posters;
  for (int t = 0; t < threads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < perThread; ++i) loop.post([&next, t, i] { EXPECT_EQ(next[t]++, i); });
    });
  }
  while (std::accumulate(next.begin(), next.end(), 0) < threads * perThread) {
    loop.runUntilIdle();  // runs while the others post
    std::this_thread::yield();
  }
  for (auto& poster : posters) poster.join();
}

TEST(VirtualRunLoopTest, SuspendFiresOverdueTimersOnceThenKeepsPeriodFromWake) {
  constexpr Timebase timebase{125, 3};
  VirtualRunLoop loop(start, timebase, 3600);
  Clock& clock = loop.clock();
  Log log(loop);
  loop.scheduleRepeating(5, 1, log.task("tick"));
  loop.scheduleAfter(20, log.task("once"));
  loop.scheduleAfter(31, [&] { loop.suspend(60); });  // from inside a task
  loop.scheduleAfter(32, log.task("fell due"));
  loop.runFor(12);
  const std::uint64_t ticks = clock.monotonicTicks();
  EXPECT_EQ(ticks, timebase.secondsToTicks(3612));
  loop.suspend(10);  // asleep 12..22: the tick at 15 and "once" at 20 fell due
  EXPECT_EQ(clock.now(), start + 22);
  EXPECT_EQ(clock.monotonicTicks(), ticks);  // ticks stand still while asleep
  loop.runFor(10);  // until 32, where the sleep from 31 to 91 overruns the span
  loop.runFor(5);
  EXPECT_EQ(log.ran, (Names{"tick@5", "tick@10", "tick@22", "once@22", "tick@27", "fell due@91",
                            "tick@91", "tick@96"}));
  EXPECT_EQ(clock.monotonicTicks(), ticks + timebase.secondsToTicks(14));
}

// A task that puts the machine to sleep for good (an empty battery) stops
// the run where it stands: nothing due at the wake runs until the next run.
TEST(VirtualRunLoopTest, StopEndsTheRunWhereItStands) {
  VirtualRunLoop loop(start);
  Log log(loop);
  loop.stop();  // outside a run: nothing to end
  loop.scheduleRepeating(5, 0, log.task("tick"));
  loop.scheduleAfter(7, [&] {
    loop.suspend(60);
    loop.stop();
  });
  loop.runFor(30);
  EXPECT_EQ(log.ran, (Names{"tick@5"}));
  EXPECT_EQ(loop.now(), start + 67);
  loop.runFor(1);
  EXPECT_EQ(log.ran, (Names{"tick@5", "tick@67"}));
  EXPECT_EQ(loop.now(), start + 68);
}

TEST(VirtualRunLoopTest, QueueWorkKeepsQueueingOrderAndSyncRunsItFirst) {
  VirtualRunLoop loop(start);
  auto queue = loop.makeSerialQueue("q");
  Log log(loop);
  loop.post(log.task("posted 1"));
  queue->async(log.task("a"));
  loop.post(log.task("posted 2"));
  queue->async([&] {
    log.task("b")();
    queue->async(log.task("queued by b"));  // joins behind the sync's task
    queue->sync(log.task("inline"));        // from its own work: at once
  });
  queue->sync(log.task("sync"));
  EXPECT_EQ(log.ran, (Names{"a@0", "b@0", "inline@0", "sync@0"}));
  loop.runUntilIdle();  // what sync ran does not run again
  TaskID meter = queue->scheduleRepeating(0.5, 1, 0.25, log.task("meter"));  // events too
  loop.cancel(meter);  // ids belong to their owner
  loop.runFor(2);
  queue->cancel(meter);
  loop.runFor(2);
  EXPECT_EQ(log.ran, (Names{"a@0", "b@0", "inline@0", "sync@0", "posted 1@0", "posted 2@0",
                            "queued by b@0", "meter@0.5", "meter@1.5"}));
}

TEST(VirtualRunLoopTest, DestroyedQueueLeavesNothingBehind) {
  VirtualRunLoop loop(start);
  auto queue = loop.makeSerialQueue("q");
  auto captured = std::make_shared<int>(0);
  std::weak_ptr<int> watch = captured;
  queue->async([captured] {});
  queue->scheduleRepeating(1, 1, 0, [captured] {});
  captured.reset();
  queue.reset();
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(loop.pendingEvents(), 0u);

  Names ran;  // destroyed from its own timer, whose captures stay alive meanwhile
  queue = loop.makeSerialQueue("q");
  queue->scheduleRepeating(1, 1, 0, [&] {
    queue.reset();
    ran.push_back("timer");
  });
  loop.runFor(5);
  queue = loop.makeSerialQueue("q");  // destroyed by work a sync runs: the rest is dropped
  queue->async([&] { queue.reset(); });
  queue->async([&] { ran.push_back("dropped"); });
  queue->sync([&] { ran.push_back("dropped too"); });
  loop.runUntilIdle();
  EXPECT_EQ(ran, Names{"timer"});
  EXPECT_EQ(loop.pendingEvents(), 0u);

  auto orphan = std::make_unique<VirtualRunLoop>(start)->makeSerialQueue("orphan");
  orphan->async([] {});  // outlived its loop: dropped, never run
  orphan->sync([] { ADD_FAILURE() << "ran without a loop"; });
}

}  // namespace
}  // namespace ebbwise::sys

#include "sys/virtual_run_loop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace ebbwise::sys {
namespace {

using Names = std::vector<std::string>;
using Times = std::vector<double>;
constexpr Date start{1'767'225'600.0};

// Records which task ran and when (seconds since start).
struct Log {
  explicit Log(const VirtualRunLoop& loop) : loop(loop) {}
  Task task(std::string name) {
    return [this, name] {
      names.push_back(name);
      times.push_back(loop.now() - start);
    };
  }
  const VirtualRunLoop& loop;
  Names names;
  Times times;
};

TEST(VirtualRunLoopTest, RunsEventsByDueTimeThenSchedulingOrder) {
  VirtualRunLoop loop(start);
  Log log(loop);
  for (auto [delay, name] : {std::pair{3.0, "c"}, {1.0, "a"}, {0.0, "now"}, {1.0, "b"}}) {
    loop.scheduleAfter(delay, log.task(name));
  }
  loop.post(log.task("posted"));
  loop.scheduleAfter(2, [&] {
    loop.post(log.task("posted at 2"));  // after what is already due at 2
    log.task("x")();
  });
  loop.scheduleAfter(2, log.task("y"));
  loop.runFor(2.9);
  EXPECT_NEAR(loop.now() - start, 2.9, 1e-6);  // a date holds about 0.2 µs
  loop.runUntilIdle();                         // nothing is due: the clock stays
  EXPECT_NEAR(loop.now() - start, 2.9, 1e-6);
  loop.runFor(0.1);  // the end of the span is inclusive
  EXPECT_EQ(log.names, (Names{"now", "posted", "a", "b", "x", "y", "posted at 2", "c"}));
  EXPECT_EQ(log.times, (Times{0, 0, 1, 1, 2, 2, 2, 3}));
  loop.runUntil(start + 1);  // in the past: nothing moves
  EXPECT_EQ(loop.now(), start + 3);
  EXPECT_EQ(loop.pendingEvents(), 0u);
}

TEST(VirtualRunLoopTest, RepeatingTimersKeepTheirGrid) {
  VirtualRunLoop loop(start);
  int tenths = 0;  // small steps add up exactly, so this fires in every step
  loop.scheduleRepeating(0.1, 0, [&] { ++tenths; });
  for (int i = 0; i < 1000; ++i) loop.runFor(0.1);
  EXPECT_EQ(tenths, 1000);

  VirtualRunLoop blocking(start);  // a handler that blocks on virtual time keeps the grid
  Log log(blocking);
  blocking.scheduleRepeating(5, 1, [&] {
    log.task("tick")();
    blocking.runFor(2);
  });
  blocking.runFor(15);
  EXPECT_EQ(log.times, (Times{5, 10, 15}));
}

TEST(VirtualRunLoopTest, CancelsBeforeDuringAndFromInsideTheTimer) {
  VirtualRunLoop loop(start);
  auto queue = loop.makeSerialQueue("q");
  Log log(loop);
  loop.cancel(loop.scheduleAfter(1, log.task("cancelled before")));
  TaskID sameTime = 0;
  loop.scheduleAfter(2, [&] { loop.cancel(sameTime); });
  sameTime = loop.scheduleAfter(2, log.task("cancelled by an earlier event"));
  TaskID self = 0;
  int selfCount = 0;
  self = loop.scheduleRepeating(1, 0, [&] {
    if (++selfCount == 3) loop.cancel(self);
  });
  TaskID queueTimer = queue->scheduleRepeating(1, 1, 0, log.task("queue timer"));
  loop.cancel(queueTimer);  // ids belong to their owner
  queue->cancel(self);
  loop.cancel(0);
  loop.runFor(2);
  queue->cancel(queueTimer);
  queue->cancel(queueTimer);
  loop.runFor(10);
  EXPECT_EQ(log.names, (Names{"queue timer", "queue timer"}));
  EXPECT_EQ(selfCount, 3);
  EXPECT_EQ(loop.pendingEvents(), 0u);
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
  EXPECT_EQ(clock.monotonicTicks(), timebase.secondsToTicks(3600));
  Log log(loop);
  loop.scheduleRepeating(5, 1, log.task("tick"));
  loop.scheduleAfter(20, log.task("once"));
  loop.scheduleAfter(31, [&] { loop.suspend(60); });  // from inside a task
  loop.scheduleAfter(32, log.task("fell due"));
  loop.runFor(12);
  std::uint64_t ticks = clock.monotonicTicks();
  EXPECT_EQ(ticks, timebase.secondsToTicks(3612));

  loop.suspend(10);  // asleep 12..22: the tick at 15 and "once" at 20 fell due
  EXPECT_EQ(clock.now(), start + 22);
  EXPECT_EQ(clock.monotonicTicks(), ticks);  // ticks stand still while asleep
  EXPECT_EQ(log.names.size(), 2u);           // and nothing ran
  loop.runFor(10);  // until 32, where the sleep from 31 to 91 overruns the span
  EXPECT_EQ(log.names, (Names{"tick", "tick", "tick", "once", "tick", "fell due", "tick"}));
  EXPECT_EQ(log.times, (Times{5, 10, 22, 22, 27, 91, 91}));
  loop.runFor(5);
  EXPECT_EQ(log.times.back(), 96);
  EXPECT_EQ(clock.monotonicTicks(), ticks + timebase.secondsToTicks(14));
}

TEST(VirtualRunLoopTest, QueueWorkKeepsQueueingOrderAndSyncRunsItFirst) {
  VirtualRunLoop loop(start);
  auto queue = loop.makeSerialQueue("ebbwise.test");
  EXPECT_EQ(queue->label(), "ebbwise.test");
  Log log(loop);
  loop.post(log.task("posted 1"));
  queue->async(log.task("a"));
  loop.post(log.task("posted 2"));
  queue->async([&] {
    log.task("b")();
    queue->async(log.task("queued by b"));  // joins behind the sync's task
    queue->sync(log.task("inline"));        // from its own work: at once
  });
  EXPECT_EQ(loop.pendingEvents(), 4u);
  queue->sync(log.task("sync"));
  EXPECT_EQ(log.names, (Names{"a", "b", "inline", "sync"}));
  loop.runUntilIdle();  // what sync ran does not run again
  EXPECT_EQ(log.names, (Names{"a", "b", "inline", "sync", "posted 1", "posted 2", "queued by b"}));

  queue->scheduleRepeating(0.5, 1, 0.25, log.task("meter"));  // queue timers are events too
  loop.runFor(2);
  EXPECT_EQ(log.times.back(), 1.5);
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
  EXPECT_EQ(ran, Names{"timer"});

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

TEST(VirtualRunLoopTest, NonsenseSpansCannotHangTheLoop) {
  VirtualRunLoop loop(start);
  Log log(loop);
  loop.scheduleAfter(std::nan(""), log.task("nan"));
  loop.scheduleAfter(-3, log.task("negative"));
  loop.scheduleAfter(std::numeric_limits<double>::infinity(), log.task("never"));
  int fast = 0;  // a zero interval would pin the clock to one instant
  loop.scheduleRepeating(0, 0, [&] { ++fast; });
  loop.runFor(std::nan(""));
  loop.runFor(-1);
  EXPECT_EQ(loop.now(), start);
  loop.runFor(1);
  EXPECT_EQ(log.names, (Names{"nan", "negative"}));
  EXPECT_EQ(fast, static_cast<int>(1 / VirtualRunLoop::minimumInterval));
}

TEST(VirtualRunLoopTest, AVirtualDayOfFiveSecondTicksIsExact) {
  VirtualRunLoop loop(start);
  int ticks = 0;
  loop.scheduleRepeating(5, 1, [&] { ++ticks; });
  loop.runFor(86'400);
  EXPECT_EQ(ticks, 17'280);
  EXPECT_EQ(loop.now(), start + 86'400);
}

}  // namespace
}  // namespace ebbwise::sys

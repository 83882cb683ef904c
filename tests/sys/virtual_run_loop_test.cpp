#include "sys/virtual_run_loop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace ebbwise::sys {
namespace {

constexpr Date start{1'767'225'600.0};

double since(const VirtualRunLoop& loop) {
  return loop.now() - start;
}

// Records which task ran, and when (seconds since start).
struct Log {
  explicit Log(const VirtualRunLoop& loop) : loop(loop) {}

  const VirtualRunLoop& loop;
  std::vector<std::string> names;
  std::vector<double> times;

  Task task(std::string name) {
    return [this, name] {
      names.push_back(name);
      times.push_back(since(loop));
    };
  }
};

TEST(VirtualRunLoopTest, RunsEventsByDueTimeThenSchedulingOrder) {
  VirtualRunLoop loop(start);
  Log log(loop);
  struct Case {
    double delay;
    const char* name;
  };
  for (Case c : {Case{3, "c"}, {1, "a"}, {0, "now"}, {1, "b"}, {3, "d"}, {2, "x"}}) {
    loop.scheduleAfter(c.delay, log.task(c.name));
  }
  loop.post(log.task("posted"));
  loop.runFor(3);
  EXPECT_EQ(log.names, (std::vector<std::string>{"now", "posted", "a", "b", "x", "c", "d"}));
  EXPECT_EQ(log.times, (std::vector<double>{0, 0, 1, 1, 2, 3, 3}));
  EXPECT_EQ(since(loop), 3.0);
  EXPECT_EQ(loop.pendingEvents(), 0u);
}

TEST(VirtualRunLoopTest, WorkAddedForNowRunsAfterWorkAlreadyDue) {
  VirtualRunLoop loop(start);
  Log log(loop);
  loop.scheduleAfter(1, [&] {
    log.task("first")();
    loop.post(log.task("posted by first"));
    loop.scheduleAfter(0, log.task("delayed by first"));
  });
  loop.scheduleAfter(1, log.task("second"));
  loop.runFor(1);
  EXPECT_EQ(log.names,
            (std::vector<std::string>{"first", "second", "posted by first", "delayed by first"}));
}

TEST(VirtualRunLoopTest, RunForEndsAtTheSpanAndRunUntilIdleKeepsTheClock) {
  VirtualRunLoop loop(start);
  Log log(loop);
  loop.scheduleAfter(2.5, log.task("late"));
  loop.runFor(2.4);
  EXPECT_TRUE(log.names.empty());
  EXPECT_NEAR(since(loop), 2.4, 1e-6);  // a date holds about 0.2 µs
  loop.runUntilIdle();
  EXPECT_TRUE(log.names.empty());
  EXPECT_NEAR(since(loop), 2.4, 1e-6);
  loop.runFor(0.1);  // the end of the span is inclusive
  EXPECT_EQ(log.names, std::vector<std::string>{"late"});
  EXPECT_DOUBLE_EQ(since(loop), 2.5);

  loop.scheduleAfter(1, log.task("dated"));
  loop.runUntil(start + 1);  // in the past: nothing moves
  EXPECT_DOUBLE_EQ(since(loop), 2.5);
  EXPECT_EQ(log.names.size(), 1u);
  loop.runUntil(start + 10);
  EXPECT_EQ(log.times.back(), 3.5);
  EXPECT_EQ(since(loop), 10.0);
}

TEST(VirtualRunLoopTest, RepeatingTimersKeepTheirGrid) {
  VirtualRunLoop loop(start);
  // Many small steps add up exactly, so a 0.1 s timer fires in every step.
  int tenths = 0;
  loop.scheduleRepeating(0.1, 0, [&] { ++tenths; });
  for (int i = 0; i < 1000; ++i) loop.runFor(0.1);
  EXPECT_EQ(tenths, 1000);

  // A handler that blocks for virtual time does not push the next deadline.
  VirtualRunLoop blocking(start);
  Log log(blocking);
  blocking.scheduleRepeating(5, 1, [&] {
    log.task("tick")();
    blocking.runFor(2);
  });
  blocking.runFor(15);
  EXPECT_EQ(log.times, (std::vector<double>{5, 10, 15}));
}

TEST(VirtualRunLoopTest, Cancellation) {
  struct Case {
    const char* name;
    // Arranges a cancellation on `loop` and returns how many firings remain
    // expected of the counted timer.
    int (*arrange)(VirtualRunLoop& loop, int& count);
  };
  const Case cases[] = {
      {"before it fires",
       [](VirtualRunLoop& loop, int& count) {
         TaskID id = loop.scheduleAfter(1, [&count] { ++count; });
         loop.cancel(id);
         return 0;
       }},
      {"by an earlier event due at the same time",
       [](VirtualRunLoop& loop, int& count) {
         auto id = std::make_shared<TaskID>();
         loop.scheduleAfter(1, [&loop, id] { loop.cancel(*id); });
         *id = loop.scheduleAfter(1, [&count] { ++count; });
         return 0;
       }},
      {"a repeating timer cancelling itself",
       [](VirtualRunLoop& loop, int& count) {
         auto id = std::make_shared<TaskID>();
         *id = loop.scheduleRepeating(1, 0, [&loop, &count, id] {
           if (++count == 3) loop.cancel(*id);
         });
         return 3;
       }},
      {"twice, and unknown ids",
       [](VirtualRunLoop& loop, int& count) {
         TaskID id = loop.scheduleRepeating(1, 0, [&count] { ++count; });
         loop.cancel(0);
         loop.cancel(id + 1000);
         loop.runFor(2);
         loop.cancel(id);
         loop.cancel(id);
         return 2;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualRunLoop loop(start);
    int count = 0;
    int expected = c.arrange(loop, count);
    loop.runFor(10);
    EXPECT_EQ(count, expected);
    EXPECT_EQ(loop.pendingEvents(), 0u);
  }
}

TEST(VirtualRunLoopTest, LoopTimerIDsDoNotCancelQueueTimers) {
  VirtualRunLoop loop(start);
  auto queue = loop.makeSerialQueue("q");
  int loopCount = 0;
  int queueCount = 0;
  TaskID loopTimer = loop.scheduleRepeating(1, 0, [&] { ++loopCount; });
  TaskID queueTimer = queue->scheduleRepeating(1, 1, 0, [&] { ++queueCount; });
  EXPECT_NE(loopTimer, queueTimer);
  queue->cancel(loopTimer);
  loop.cancel(queueTimer);
  loop.runFor(3);
  EXPECT_EQ(loopCount, 3);
  EXPECT_EQ(queueCount, 3);
}

TEST(VirtualRunLoopTest, PostIsSafeFromOtherThreadsAndKeepsEachThreadsOrder) {
  VirtualRunLoop loop(start);
  constexpr int threads = 4;
  constexpr int perThread = 500;
  std::vector<std::vector<int>> seen(threads);
  std::vector<std::thread> posters;
  for (int t = 0; t < threads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < perThread; ++i) loop.post([&seen, t, i] { seen[t].push_back(i); });
    });
  }
  // The loop thread keeps running while the others post.
  while (true) {
    loop.runUntilIdle();
    std::size_t total = 0;
    for (const auto& s : seen) total += s.size();
    if (total == threads * perThread) break;
    std::this_thread::yield();
  }
  for (auto& poster : posters) poster.join();
  for (const auto& s : seen) {
    ASSERT_EQ(s.size(), static_cast<std::size_t>(perThread));
    for (int i = 0; i < perThread; ++i) EXPECT_EQ(s[i], i);
  }
  EXPECT_EQ(since(loop), 0.0);
}

TEST(VirtualRunLoopTest, ClockFollowsVirtualTime) {
  Timebase timebase{125, 3};
  VirtualRunLoop loop(start, timebase, 3600);
  Clock& clock = loop.clock();
  EXPECT_EQ(clock.now(), start);
  EXPECT_EQ(clock.timebase().numer, 125u);
  EXPECT_EQ(clock.monotonicTicks(), timebase.secondsToTicks(3600));
  std::vector<double> seenAt;
  loop.scheduleAfter(7, [&] { seenAt.push_back(clock.now() - start); });
  loop.runFor(10);
  EXPECT_EQ(seenAt, std::vector<double>{7});
  EXPECT_EQ(clock.now(), start + 10);
  EXPECT_EQ(clock.monotonicTicks(), timebase.secondsToTicks(3610));
}

TEST(VirtualRunLoopTest, SuspendFiresOverdueTimersOnceThenKeepsPeriodFromWake) {
  VirtualRunLoop loop(start);
  Log log(loop);
  loop.scheduleRepeating(5, 1, log.task("tick"));
  loop.scheduleAfter(20, log.task("once"));
  loop.scheduleAfter(200, log.task("after wake"));
  loop.runFor(12);
  std::uint64_t ticksBefore = loop.clock().monotonicTicks();

  loop.suspend(100);  // asleep from 12 to 112: ticks at 15..110 and "once" fell due
  EXPECT_DOUBLE_EQ(since(loop), 112);
  EXPECT_EQ(loop.clock().monotonicTicks(), ticksBefore);
  EXPECT_EQ(log.names.size(), 2u);  // nothing ran while asleep

  loop.runFor(10);
  EXPECT_EQ(log.names, (std::vector<std::string>{"tick", "tick", "tick", "once", "tick", "tick"}));
  EXPECT_EQ(log.times, (std::vector<double>{5, 10, 112, 112, 117, 122}));
  EXPECT_EQ(loop.clock().monotonicTicks(),
            ticksBefore + loop.clock().timebase().secondsToTicks(10));
  loop.runUntil(start + 200);
  EXPECT_EQ(log.names.back(), "after wake");
  EXPECT_EQ(log.times.back(), 200);
}

TEST(VirtualRunLoopTest, SuspendFromInsideATask) {
  VirtualRunLoop loop(start);
  Log log(loop);
  loop.scheduleRepeating(5, 1, log.task("tick"));
  loop.scheduleAfter(6, [&] { loop.suspend(60); });
  loop.scheduleAfter(7, log.task("fell due"));
  loop.runFor(8);  // the sleep overruns the span: what fell due still runs at wake
  EXPECT_EQ(log.names, (std::vector<std::string>{"tick", "fell due", "tick"}));
  EXPECT_EQ(log.times, (std::vector<double>{5, 66, 66}));
  EXPECT_DOUBLE_EQ(since(loop), 66);
  loop.runFor(5);
  EXPECT_EQ(log.times.back(), 71);
}

TEST(VirtualRunLoopTest, QueueWorkRunsInQueueingOrderAmongLoopWork) {
  VirtualRunLoop loop(start);
  auto queue = loop.makeSerialQueue("ebbwise.test");
  EXPECT_EQ(queue->label(), "ebbwise.test");
  Log log(loop);
  loop.post(log.task("posted 1"));
  queue->async(log.task("async 1"));
  loop.post(log.task("posted 2"));
  queue->async(log.task("async 2"));
  EXPECT_EQ(loop.pendingEvents(), 4u);
  loop.runUntilIdle();
  EXPECT_EQ(log.names, (std::vector<std::string>{"posted 1", "async 1", "posted 2", "async 2"}));
}

TEST(VirtualRunLoopTest, SyncRunsEarlierQueueWorkThenItsTaskInline) {
  VirtualRunLoop loop(start);
  auto queue = loop.makeSerialQueue("q");
  Log log(loop);
  queue->async([&] {
    log.task("a")();
    queue->async(log.task("queued by a"));  // joins behind the sync's task
  });
  queue->async(log.task("b"));
  loop.post(log.task("posted"));
  queue->sync(log.task("sync"));
  EXPECT_EQ(log.names, (std::vector<std::string>{"a", "b", "sync"}));
  loop.runUntilIdle();  // each item ran once: what sync ran does not run again
  EXPECT_EQ(log.names, (std::vector<std::string>{"a", "b", "sync", "posted", "queued by a"}));
  EXPECT_EQ(loop.pendingEvents(), 0u);
}

TEST(VirtualRunLoopTest, SyncFromTheQueuesOwnWorkRunsInlineAtOnce) {
  VirtualRunLoop loop(start);
  auto queue = loop.makeSerialQueue("q");
  Log log(loop);
  queue->async([&] {
    log.task("outer")();
    queue->sync(log.task("inner"));
    log.task("outer end")();
  });
  queue->async(log.task("next"));
  loop.runUntilIdle();
  EXPECT_EQ(log.names, (std::vector<std::string>{"outer", "inner", "outer end", "next"}));
}

TEST(VirtualRunLoopTest, QueueTimersAreVirtualEvents) {
  VirtualRunLoop loop(start);
  auto queue = loop.makeSerialQueue("meter");
  Log log(loop);
  queue->scheduleRepeating(0.5, 1, 0.25, log.task("meter"));
  loop.scheduleRepeating(1, 0, log.task("loop"));
  loop.runFor(3);
  EXPECT_EQ(log.times, (std::vector<double>{0.5, 1, 1.5, 2, 2.5, 3}));
}

TEST(VirtualRunLoopTest, DestroyedQueueDropsItsWorkAndTimers) {
  VirtualRunLoop loop(start);
  auto queue = loop.makeSerialQueue("q");
  auto captured = std::make_shared<int>(0);
  std::weak_ptr<int> watch = captured;
  queue->async([captured] { ++*captured; });
  queue->scheduleRepeating(1, 1, 0, [captured] { ++*captured; });
  TaskID loopTimer = loop.scheduleAfter(1, [] {});
  captured.reset();
  queue.reset();
  EXPECT_TRUE(watch.expired());  // nothing the queue held is kept alive
  EXPECT_EQ(loop.pendingEvents(), 1u);
  loop.cancel(loopTimer);
  loop.runFor(5);
  EXPECT_EQ(loop.pendingEvents(), 0u);
}

TEST(VirtualRunLoopTest, QueueMayBeDestroyedFromItsOwnWork) {
  VirtualRunLoop loop(start);
  std::unique_ptr<SerialQueue> queue = loop.makeSerialQueue("q");
  std::vector<std::string> ran;
  queue->scheduleRepeating(1, 1, 0, [&] {
    ran.push_back("timer");
    queue.reset();
    ran.push_back("after reset");  // its own captures are still alive
  });
  queue->async([&] { ran.push_back("work"); });
  loop.runFor(5);
  EXPECT_EQ(ran, (std::vector<std::string>{"work", "timer", "after reset"}));
  EXPECT_EQ(loop.pendingEvents(), 0u);

  // Destroyed by work that a sync runs: the rest, and the sync's task, are dropped.
  queue = loop.makeSerialQueue("q2");
  ran.clear();
  queue->async([&] { queue.reset(); });
  queue->async([&] { ran.push_back("dropped"); });
  SerialQueue* raw = queue.get();
  raw->sync([&] { ran.push_back("sync"); });
  loop.runUntilIdle();
  EXPECT_TRUE(ran.empty());
  EXPECT_EQ(loop.pendingEvents(), 0u);
}

TEST(VirtualRunLoopTest, QueueMayOutliveTheLoop) {
  auto captured = std::make_shared<int>(0);
  std::weak_ptr<int> watch = captured;
  std::unique_ptr<SerialQueue> queue;
  {
    VirtualRunLoop loop(start);
    queue = loop.makeSerialQueue("q");
    queue->async([captured] {});
  }
  captured.reset();
  EXPECT_TRUE(watch.expired());
  queue->async([] {});
  queue->sync([] { ADD_FAILURE() << "no loop is left to run it"; });
  EXPECT_NE(queue->scheduleRepeating(1, 1, 0, [] {}), 0u);
  queue.reset();
}

TEST(VirtualRunLoopTest, NonsenseSpansAreSafe) {
  VirtualRunLoop loop(start);
  Log log(loop);
  loop.scheduleAfter(std::nan(""), log.task("nan delay"));
  loop.scheduleAfter(-3, log.task("negative delay"));
  loop.scheduleAfter(std::numeric_limits<double>::infinity(), log.task("never"));
  // A zero interval would pin the clock; it repeats at the smallest interval.
  int fast = 0;
  loop.scheduleRepeating(0, 0, [&] { ++fast; });
  loop.runUntilIdle();
  EXPECT_EQ(log.names, (std::vector<std::string>{"nan delay", "negative delay"}));
  loop.runFor(std::nan(""));
  loop.runFor(-1);
  EXPECT_EQ(since(loop), 0.0);
  loop.runFor(1);
  EXPECT_EQ(fast, static_cast<int>(1.0 / VirtualRunLoop::minimumInterval));
  EXPECT_EQ(log.names.size(), 2u);
  EXPECT_EQ(loop.pendingEvents(), 2u);
}

TEST(VirtualRunLoopTest, AVirtualDayOfFiveSecondTicksIsExact) {
  VirtualRunLoop loop(start);
  int ticks = 0;
  Date last{};
  loop.scheduleRepeating(5, 1, [&] {
    ++ticks;
    last = loop.now();
  });
  loop.runFor(86'400);
  EXPECT_EQ(ticks, 17'280);
  EXPECT_EQ(last, start + 86'400);
  EXPECT_EQ(loop.now(), start + 86'400);
}

}  // namespace
}  // namespace ebbwise::sys

#include "sys/async_task.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "sys/real_run_loop.h"
#include "sys/virtual_run_loop.h"

namespace ebbwise::sys {
namespace {

constexpr Date start{1'767'225'600.0};

struct Trace {
  VirtualRunLoop& loop;
  std::vector<std::string> events;
  void note(const std::string& what) {
    events.push_back(what + "@" + std::to_string(std::lround((loop.now() - start) * 10)));
  }
};

// Sleeps `steps` half-seconds, noting each wake-up, and answers their count.
AsyncTask<int> napping(Trace& trace, int steps) {
  for (int i = 0; i < steps; ++i) {
    co_await sleepFor(trace.loop, 0.5);
    trace.note("nap");
  }
  co_return steps;
}

AsyncTask<void> outer(Trace& trace, std::optional<int>& result) {
  trace.note("begin");
  int first = co_await napping(trace, 2);
  int second = co_await napping(trace, 1);
  result = first + second;
  trace.note("end");
}

TEST(AsyncTaskTest, SuspendsOnlyInItsSleepsWhileTheLoopRunsOtherTimers) {
  VirtualRunLoop loop(start);
  Trace trace{loop, {}};
  std::optional<int> result;
  AsyncTask<void> task = outer(trace, result);
  EXPECT_TRUE(trace.events.empty()) << "a task runs only once started";
  loop.scheduleRepeating(0.7, 0, [&] { trace.note("tick"); });

  task.start();
  EXPECT_EQ(trace.events, std::vector<std::string>{"begin@0"});
  EXPECT_TRUE(task.isRunning());
  loop.runFor(3);

  EXPECT_EQ(trace.events,
            (std::vector<std::string>{"begin@0", "nap@5", "tick@7", "nap@10", "tick@14", "nap@15",
                                      "end@15", "tick@21", "tick@28"}));
  EXPECT_EQ(result, 3);
  EXPECT_TRUE(task.isDone());
}

struct Guard {
  bool& destroyed;
  ~Guard() { destroyed = true; }
};

AsyncTask<void> guarded(Trace& trace, bool& destroyed) {
  Guard guard{destroyed};
  co_await napping(trace, 10);
  trace.note("finished");
}

TEST(AsyncTaskTest, DestroyingAWaitingTaskCancelsItsWakeUpAndFreesItsState) {
  VirtualRunLoop loop(start);
  Trace trace{loop, {}};
  bool destroyed = false;
  {
    AsyncTask<void> task = guarded(trace, destroyed);
    task.start();
    loop.runFor(1.2);
    EXPECT_EQ(loop.pendingEvents(), 1u);
  }
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(loop.pendingEvents(), 0u) << "the nested sleep's wake-up is cancelled";
  loop.runFor(10);
  EXPECT_EQ(trace.events, (std::vector<std::string>{"nap@5", "nap@10"}));
}

AsyncTask<double> measuredSleep(RealRunLoop& loop) {
  co_await sleepFor(loop, 0.02);
  co_await sleepFor(loop, 0.02);
  loop.stop();
  co_return 1.0;
}

TEST(AsyncTaskTest, RunsTheSameOnTheRealLoop) {
  RealRunLoop loop;
  AsyncTask<double> task = measuredSleep(loop);
  task.start();
  loop.runFor(5);
  EXPECT_TRUE(task.isDone());
}

}  // namespace
}  // namespace ebbwise::sys

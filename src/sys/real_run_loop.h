#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "sys/deadline_timers.h"
#include "sys/run_loop.h"
#include "sys/run_loop_waiter.h"

namespace ebbwise::sys {

// The main loop of a real machine, on the thread that calls run(). Timers run
// on the steady clock and stay on their grid; a timer may fire up to its
// tolerance late, which the loop uses to serve several timers with one
// wake-up. Between events the loop sleeps in its waiter.
//
// `post` and `stop` are safe from any thread; the other calls belong to the
// loop's thread or must happen before it runs.
class RealRunLoop final : public RunLoop {
 public:
  // `waiter` null: wait on a condition variable.
  explicit RealRunLoop(std::unique_ptr<RunLoopWaiter> waiter = nullptr);
  ~RealRunLoop() override;

  RealRunLoop(const RealRunLoop&) = delete;
  RealRunLoop& operator=(const RealRunLoop&) = delete;

  // Runs until stop().
  void run();
  // Runs for `seconds`, or until stop() if that comes first.
  void runFor(double seconds);
  // Ends the current run after the task in progress. A stop that comes while
  // the loop is not running ends the next run at once instead of being lost.
  void stop();

  TaskID scheduleRepeating(double interval, double tolerance, Task task) override;
  TaskID scheduleAfter(double delay, Task task) override;
  void cancel(TaskID id) override;
  void post(Task task) override;
  std::unique_ptr<SerialQueue> makeSerialQueue(std::string label) override;

 private:
  void runUntil(std::optional<DeadlineTimers::TimePoint> end);
  bool takeStop();  // with mutex_ held

  const std::unique_ptr<RunLoopWaiter> waiter_;
  const std::shared_ptr<std::atomic<TaskID>> ids_;
  std::mutex mutex_;
  std::deque<Task> posted_;
  DeadlineTimers timers_;
  bool stopRequested_ = false;
};

}  // namespace ebbwise::sys

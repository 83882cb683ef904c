#include "sys/real_run_loop.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "sys/real_serial_queue.h"

namespace ebbwise::sys {

namespace {
using SteadyClock = std::chrono::steady_clock;
}

RealRunLoop::RealRunLoop(std::unique_ptr<RunLoopWaiter> waiter)
    : waiter_(waiter ? std::move(waiter) : std::make_unique<ConditionWaiter>()),
      ids_(std::make_shared<std::atomic<TaskID>>(1)) {}

RealRunLoop::~RealRunLoop() {
  std::deque<Task> posted;
  std::vector<std::shared_ptr<Task>> timers;
  {
    std::lock_guard lock(mutex_);
    posted.swap(posted_);
    timers = timers_.clear();
  }
  // Released outside the lock, while the loop is still whole: their captures
  // may call back into it.
}

void RealRunLoop::run() {
  runUntil(std::nullopt);
}

void RealRunLoop::runFor(double seconds) {
  runUntil(SteadyClock::now() + DeadlineTimers::span(seconds));
}

// Calls from other threads wake the waiter before letting go of the lock: the
// loop may be destroyed as soon as it is free (say, right after a stop).
void RealRunLoop::stop() {
  std::lock_guard lock(mutex_);
  stopRequested_ = true;
  waiter_->wake();
}

bool RealRunLoop::takeStop() {
  if (!stopRequested_) return false;
  stopRequested_ = false;
  return true;
}

void RealRunLoop::runUntil(std::optional<DeadlineTimers::TimePoint> end) {
  for (;;) {
    // Work posted during this pass waits for the next one, so a task that
    // keeps posting cannot starve the timers.
    std::size_t posted = 0;
    {
      std::lock_guard lock(mutex_);
      if (takeStop()) return;
      posted = posted_.size();
    }
    for (; posted > 0; --posted) {
      Task task;
      {
        std::lock_guard lock(mutex_);
        if (takeStop()) return;
        if (posted_.empty()) break;
        task = std::move(posted_.front());
        posted_.pop_front();
      }
      task();
    }

    // Each due timer fires at most once per pass.
    const auto now = SteadyClock::now();
    for (;;) {
      std::shared_ptr<Task> timer;
      {
        std::lock_guard lock(mutex_);
        if (takeStop()) return;
        timer = timers_.popDue(now);
      }
      if (!timer) break;
      (*timer)();
    }

    std::optional<DeadlineTimers::TimePoint> wake;
    {
      std::lock_guard lock(mutex_);
      if (takeStop()) return;
      if (!posted_.empty()) continue;
      wake = timers_.wakeTime();
    }
    if (end) {
      if (SteadyClock::now() >= *end) return;
      wake = wake ? std::min(*wake, *end) : *end;
    }
    waiter_->wait(wake);
  }
}

TaskID RealRunLoop::scheduleRepeating(double interval, double tolerance, Task task) {
  TaskID id = ids_->fetch_add(1);
  auto period = DeadlineTimers::period(interval);
  std::lock_guard lock(mutex_);
  timers_.add(id, SteadyClock::now() + period, period, DeadlineTimers::span(tolerance),
              std::move(task));
  waiter_->wake();  // the loop may be asleep with a later deadline
  return id;
}

TaskID RealRunLoop::scheduleAfter(double delay, Task task) {
  TaskID id = ids_->fetch_add(1);
  std::lock_guard lock(mutex_);
  timers_.add(id, SteadyClock::now() + DeadlineTimers::span(delay),
              DeadlineTimers::Duration::zero(), DeadlineTimers::Duration::zero(), std::move(task));
  waiter_->wake();
  return id;
}

void RealRunLoop::cancel(TaskID id) {
  std::shared_ptr<Task> dropped;
  std::lock_guard lock(mutex_);
  dropped = timers_.cancel(id);
}

void RealRunLoop::post(Task task) {
  std::lock_guard lock(mutex_);
  posted_.push_back(std::move(task));
  waiter_->wake();
}

std::unique_ptr<SerialQueue> RealRunLoop::makeSerialQueue(std::string label) {
  return std::make_unique<RealSerialQueue>(std::move(label), ids_);
}

}  // namespace ebbwise::sys

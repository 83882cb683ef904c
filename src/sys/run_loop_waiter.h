#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace ebbwise::sys {

// How a real run loop sleeps between events. The default waits on a condition
// variable; a window system replaces it with its own event wait, so that input
// events and the loop's timers and posted work share one thread.
class RunLoopWaiter {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~RunLoopWaiter() = default;

  // Blocks until wake() is called or `deadline` passes (without a deadline,
  // until wake()). A wake() that came while nobody waited ends the next wait at
  // once, so a wake-up between the loop's last look and its wait is not lost.
  // May return early.
  virtual void wait(std::optional<TimePoint> deadline) = 0;

  // Ends the current or the next wait. Safe from any thread; the loop calls it
  // with its own lock held, so it must not call back into the loop.
  virtual void wake() = 0;
};

// Waits on a condition variable.
class ConditionWaiter final : public RunLoopWaiter {
 public:
  void wait(std::optional<TimePoint> deadline) override;
  void wake() override;

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  bool pending_ = false;
};

}  // namespace ebbwise::sys

#include "sys/run_loop_waiter.h"

namespace ebbwise::sys {

void ConditionWaiter::wait(std::optional<TimePoint> deadline) {
  std::unique_lock lock(mutex_);
  auto woken = [this] { return pending_; };
  if (deadline) {
    woken_.wait_until(lock, *deadline, woken);
  } else {
    woken_.wait(lock, woken);
  }
  pending_ = false;
}

void ConditionWaiter::wake() {
  std::lock_guard lock(mutex_);
  pending_ = true;
  woken_.notify_one();  // under the lock, so the waiter cannot be gone yet
}

}  // namespace ebbwise::sys

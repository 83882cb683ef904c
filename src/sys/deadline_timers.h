#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <queue>
#include <unordered_map>
#include <vector>

#include "sys/run_loop.h"

namespace ebbwise::sys {

// The timers of one real loop or queue thread, on the steady clock: one-shot
// and repeating deadlines, each allowed to fire up to its tolerance late.
// Repeating timers stay on their grid (deadline + n * interval) and skip the
// firings they missed rather than catching up in a burst.
//
// Not thread-safe: the owner guards it with its lock, runs the tasks outside
// that lock, and releases the tasks handed back by cancel/clear outside it too
// (their captures may call back into the owner).
class DeadlineTimers {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  using Duration = std::chrono::steady_clock::duration;

  // Seconds as a duration: negative and NaN spans are zero, and anything from
  // a century on is a century (far enough to mean "never" without overflow).
  static Duration span(double seconds);
  // A repeating timer's period from `seconds`, at least a millisecond so that a
  // zero or negative interval cannot pin its thread.
  static Duration period(double seconds);

  // `interval` zero makes a one-shot timer.
  void add(TaskID id, TimePoint deadline, Duration interval, Duration tolerance, Task task);
  // Removes a timer and hands back its task; null for an unknown id.
  std::shared_ptr<Task> cancel(TaskID id);
  // Removes every timer and hands back their tasks.
  std::vector<std::shared_ptr<Task>> clear();

  // The first timer whose deadline is at or before `now`, or null. A repeating
  // timer is re-armed before it is handed out, so its task may cancel it.
  std::shared_ptr<Task> popDue(TimePoint now);

  // When to wake next, or nothing without timers. Wakes are coalesced: a
  // timer is held back (within its tolerance) to a later timer's deadline
  // when both then fire on one wake.
  std::optional<TimePoint> wakeTime() const;

  std::size_t size() const { return timers_.size(); }

 private:
  struct Timer {
    std::shared_ptr<Task> task;
    TimePoint deadline;
    Duration interval;
    Duration tolerance;
    std::uint64_t seq;  // of the timer's live heap slot
  };
  struct Slot {
    TimePoint deadline;
    std::uint64_t seq;
    TaskID id;
    bool operator>(const Slot& other) const {
      return deadline != other.deadline ? deadline > other.deadline : seq > other.seq;
    }
  };

  void arm(TaskID id, Timer& timer);

  std::unordered_map<TaskID, Timer> timers_;
  std::priority_queue<Slot, std::vector<Slot>, std::greater<>> heap_;
  std::uint64_t nextSeq_ = 0;
};

}  // namespace ebbwise::sys

#include "sys/deadline_timers.h"

#include <algorithm>
#include <utility>

namespace ebbwise::sys {

namespace {
constexpr double century = 100.0 * 365.25 * 86'400.0;
}

DeadlineTimers::Duration DeadlineTimers::span(double seconds) {
  if (!(seconds > 0)) return Duration::zero();
  return std::chrono::duration_cast<Duration>(
      std::chrono::duration<double>(std::min(seconds, century)));
}

DeadlineTimers::Duration DeadlineTimers::period(double seconds) {
  return std::max(span(seconds), Duration(std::chrono::milliseconds(1)));
}

void DeadlineTimers::add(TaskID id, TimePoint deadline, Duration interval, Duration tolerance,
                         Task task) {
  Timer timer{std::make_shared<Task>(std::move(task)), deadline,
              std::max(interval, Duration::zero()), std::max(tolerance, Duration::zero()), 0};
  arm(id, timers_.insert_or_assign(id, std::move(timer)).first->second);
}

std::shared_ptr<Task> DeadlineTimers::cancel(TaskID id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return nullptr;
  std::shared_ptr<Task> task = std::move(it->second.task);
  timers_.erase(it);  // its heap slot goes stale and is skipped
  return task;
}

std::vector<std::shared_ptr<Task>> DeadlineTimers::clear() {
  std::vector<std::shared_ptr<Task>> tasks;
  for (auto& [id, timer] : timers_) tasks.push_back(std::move(timer.task));
  timers_.clear();
  heap_ = {};
  return tasks;
}

std::shared_ptr<Task> DeadlineTimers::popDue(TimePoint now) {
  while (!heap_.empty()) {
    Slot top = heap_.top();
    auto it = timers_.find(top.id);
    if (it == timers_.end() || it->second.seq != top.seq) {
      heap_.pop();
      continue;
    }
    if (top.deadline > now) return nullptr;
    heap_.pop();
    Timer& timer = it->second;
    std::shared_ptr<Task> task = timer.task;
    if (timer.interval == Duration::zero()) {
      timers_.erase(it);
      return task;
    }
    // Next grid point after `now`: a late loop skips what it missed.
    auto missed = (now - timer.deadline) / timer.interval;
    timer.deadline += (missed + 1) * timer.interval;
    arm(top.id, timer);
    return task;
  }
  return nullptr;
}

std::optional<DeadlineTimers::TimePoint> DeadlineTimers::wakeTime() const {
  if (timers_.empty()) return std::nullopt;
  // The latest moment by which no timer is later than its tolerance allows...
  TimePoint latest = TimePoint::max();
  for (const auto& [id, timer] : timers_)
    latest = std::min(latest, timer.deadline + timer.tolerance);
  // ...pulled back to the last deadline within it, so a lone timer fires on time.
  TimePoint wake = TimePoint::min();
  for (const auto& [id, timer] : timers_) {
    if (timer.deadline <= latest) wake = std::max(wake, timer.deadline);
  }
  return wake;
}

void DeadlineTimers::arm(TaskID id, Timer& timer) {
  timer.seq = nextSeq_++;
  heap_.push(Slot{timer.deadline, timer.seq, id});
}

}  // namespace ebbwise::sys

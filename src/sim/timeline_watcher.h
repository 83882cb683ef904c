#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "sys/clock.h"
#include "sys/date.h"
#include "sys/run_loop.h"

namespace ebbwise::sim {

// Wakes a service on the run loop just after each scenario time at which
// what it publishes may change, so that it tells its observers when a Mac
// would. The machine outlives nothing: a watcher destroyed before its loop
// leaves timers that do nothing, and one whose loop is gone is never woken.
class TimelineWatcher {
 public:
  // `times` in seconds from `start`, in order.
  TimelineWatcher(sys::Clock& clock, sys::Date start, std::vector<double> times,
                  std::function<void()> wake);

  // Watches on `loop` from now on.
  void watch(sys::RunLoop& loop);

 private:
  struct State {
    sys::Clock& clock;
    sys::Date start;
    std::vector<double> times;
    std::function<void()> wake;
    sys::RunLoop* loop = nullptr;
    std::uint64_t generation = 0;
  };
  static void scheduleNext(const std::shared_ptr<State>& state);

  std::shared_ptr<State> state_;
};

// A flag that callbacks left on a run loop check before touching the
// service that queued them, which may be gone by then.
class Lifeline {
 public:
  Lifeline() : token_(std::make_shared<bool>(true)) {}
  std::weak_ptr<bool> token() const { return token_; }

 private:
  std::shared_ptr<bool> token_;
};

}  // namespace ebbwise::sim

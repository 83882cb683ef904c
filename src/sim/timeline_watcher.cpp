#include "sim/timeline_watcher.h"

#include <algorithm>

namespace ebbwise::sim {

namespace {

// A little past each time, so the machine has applied what happens then
// however the loop rounds its deadlines.
constexpr double kPast = 1e-6;

}  // namespace

TimelineWatcher::TimelineWatcher(sys::Clock& clock, sys::Date start, std::vector<double> times,
                                 std::function<void()> wake)
    : state_(std::make_shared<State>(State{clock, start, std::move(times), std::move(wake)})) {}

void TimelineWatcher::watch(sys::RunLoop& loop) {
  state_->loop = &loop;
  ++state_->generation;  // forget timers on an earlier loop
  scheduleNext(state_);
}

void TimelineWatcher::scheduleNext(const std::shared_ptr<State>& state) {
  const double now = state->clock.now() - state->start;
  auto next = std::upper_bound(state->times.begin(), state->times.end(), now - kPast);
  if (next == state->times.end() || !state->loop) return;
  std::weak_ptr<State> weak = state;
  state->loop->scheduleAfter(*next + kPast - now, [weak, generation = state->generation] {
    auto s = weak.lock();
    if (!s || s->generation != generation) return;
    s->wake();
    scheduleNext(s);
  });
}

}  // namespace ebbwise::sim

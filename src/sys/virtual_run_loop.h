#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "sys/clock.h"
#include "sys/date.h"
#include "sys/run_loop.h"

namespace ebbwise::sys {

// A run loop on virtual time. Nothing runs by itself: the owner drives the
// loop with runFor/runUntil/runUntilIdle, and the clock jumps from one event
// to the next, so a simulated day passes in milliseconds and every run of the
// same program gives the same result.
//
// Events (timers, delayed work, posted work, serial-queue work and timers)
// run in order of (due time, scheduling order). Repeating timers keep their
// grid (next deadline = previous deadline + interval); tolerance and leeway
// never move a virtual firing. Serial queues run their work on the loop's own
// thread, interleaved with the loop's events by the same order.
//
// `post` may be called from any thread; everything else belongs to the
// thread that drives the loop. Queues may outlive the loop: their work is then
// dropped.
class VirtualRunLoop final : public RunLoop {
 public:
  // The clock starts at `start`; its monotonic tick counter starts at
  // `uptime` seconds' worth of ticks.
  explicit VirtualRunLoop(Date start = Date{1'767'225'600.0}, Timebase timebase = {125, 3},
                          double uptime = 3600.0);
  ~VirtualRunLoop() override;

  VirtualRunLoop(const VirtualRunLoop&) = delete;
  VirtualRunLoop& operator=(const VirtualRunLoop&) = delete;

  // A clock whose now() and monotonicTicks() follow the loop's virtual time.
  Clock& clock();
  Date now() const;

  // Runs every event due within the next `seconds`, jumping the clock to each,
  // and leaves the clock at the end of the span.
  void runFor(double seconds);
  // Same as runFor, up to `date`; a date in the past runs only what is due now.
  void runUntil(Date date);
  // Runs everything due now (posted work, queue work, due timers, and work
  // they add for now) without moving the clock.
  void runUntilIdle();

  // The machine sleeps for `seconds`: the date jumps ahead and nothing runs in
  // between. Timers that fell due fire once at wake, and repeating ones then
  // keep their period from the wake. Monotonic ticks do not advance while
  // asleep. May be called from inside a running task.
  void suspend(double seconds);

  // Ends the run in progress once the running task returns: runFor or
  // runUntil returns with the clock where it stands, and what is due runs
  // in the next run. Outside a run it does nothing.
  void stop();

  // Timers, delayed work and queued or posted work not yet run or cancelled.
  std::size_t pendingEvents() const;

  TaskID scheduleRepeating(double interval, double tolerance, Task task) override;
  TaskID scheduleAfter(double delay, Task task) override;
  void cancel(TaskID id) override;
  void post(Task task) override;
  std::unique_ptr<SerialQueue> makeSerialQueue(std::string label) override;

  // Repeating intervals are at least this long, so a zero or negative
  // interval cannot pin the loop to one instant forever.
  static constexpr double minimumInterval = 0.001;

 private:
  class Timeline;
  class Queue;
  class TimelineClock;

  std::shared_ptr<Timeline> timeline_;  // shared with the queues, which may outlive the loop
  std::unique_ptr<TimelineClock> clock_;
};

}  // namespace ebbwise::sys

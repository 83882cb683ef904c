#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace ebbwise::sys {

using Task = std::function<void()>;

// Identifies a scheduled timer or delayed work item; 0 is never used.
using TaskID = std::uint64_t;

// A serial queue: work runs one item at a time, in the order it was queued,
// off the main loop (a worker thread on a real machine; deterministically on
// the loop's own thread under virtual time). Destroying the queue cancels its
// timers and drops work that has not started.
class SerialQueue {
 public:
  virtual ~SerialQueue() = default;

  virtual const std::string& label() const = 0;

  // Queues `task` and returns at once.
  virtual void async(Task task) = 0;

  // Queues `task` and waits until it has run. Called from the queue's own
  // work, it runs `task` at once instead (waiting for itself would never end).
  virtual void sync(Task task) = 0;

  // A repeating timer whose handler runs on the queue: first after
  // `firstDelay` seconds, then every `interval` seconds, each firing allowed to
  // come up to `leeway` seconds late.
  virtual TaskID scheduleRepeating(double firstDelay, double interval, double leeway,
                                   Task task) = 0;

  // Stops a timer of this queue; unknown or finished ids, and ids of other
  // queues or of the loop, are ignored.
  virtual void cancel(TaskID id) = 0;
};

// The main loop: timers, delayed work and work posted from other threads, all
// run on the loop's thread.
class RunLoop {
 public:
  virtual ~RunLoop() = default;

  // A repeating timer: first after `interval` seconds, then every `interval`
  // seconds from the previous deadline; each firing may come up to
  // `tolerance` seconds late.
  virtual TaskID scheduleRepeating(double interval, double tolerance, Task task) = 0;

  // Runs `task` once after `delay` seconds unless cancelled before.
  virtual TaskID scheduleAfter(double delay, Task task) = 0;

  // Cancels a timer or delayed work item; unknown or finished ids are ignored.
  virtual void cancel(TaskID id) = 0;

  // Runs `task` on the loop as soon as it can. Safe from any thread.
  virtual void post(Task task) = 0;

  // A new serial queue whose results come back to this loop by `post`.
  virtual std::unique_ptr<SerialQueue> makeSerialQueue(std::string label) = 0;
};

}  // namespace ebbwise::sys

#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "sys/run_loop.h"

namespace ebbwise::sys {

// A serial queue on its own worker thread: work runs one item at a time in
// the order queued, timers fire on the worker between items.
//
// `sync` from the queue's own work runs the task inline (waiting for itself
// would never end). Destroying the queue cancels its timers, lets the running
// item finish, drops the rest (a `sync` waiting on dropped work returns), and
// joins the worker; when the queue is destroyed from its own work, the worker
// is let go instead and ends once that work returns.
class RealSerialQueue final : public SerialQueue {
 public:
  // `ids` numbers the queue's timers; a loop shares its own so that its ids and
  // its queues' ids never collide.
  explicit RealSerialQueue(std::string label, std::shared_ptr<std::atomic<TaskID>> ids = nullptr);
  ~RealSerialQueue() override;

  RealSerialQueue(const RealSerialQueue&) = delete;
  RealSerialQueue& operator=(const RealSerialQueue&) = delete;

  const std::string& label() const override { return label_; }
  void async(Task task) override;
  void sync(Task task) override;
  TaskID scheduleRepeating(double firstDelay, double interval, double leeway, Task task) override;
  void cancel(TaskID id) override;

 private:
  struct State;  // shared with the worker, which may outlive the queue by one item
  static void work(std::shared_ptr<State> state);

  const std::string label_;
  std::shared_ptr<State> state_;
  std::thread worker_;
  const std::thread::id workerID_;
};

}  // namespace ebbwise::sys

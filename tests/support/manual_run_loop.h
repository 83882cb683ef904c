#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sys/run_loop.h"

namespace ebbwise::test {

class ManualRunLoop;

// A serial queue that runs nothing by itself: queued work waits for
// `runPending`, timers wait for `fire`. `sync` runs earlier work first, then
// the task, inline, as a serial queue would.
class ManualSerialQueue final : public sys::SerialQueue {
 public:
  struct Timer {
    double firstDelay = 0;
    double interval = 0;
    double leeway = 0;
    sys::Task task;
  };

  ManualSerialQueue(ManualRunLoop& loop, std::string label)
      : loop_(loop), label_(std::move(label)) {}
  ~ManualSerialQueue() override;

  const std::string& label() const override { return label_; }
  void async(sys::Task task) override { pending_.push_back(std::move(task)); }
  void sync(sys::Task task) override;
  sys::TaskID scheduleRepeating(double firstDelay, double interval, double leeway,
                                sys::Task task) override;
  void cancel(sys::TaskID id) override { timers_.erase(id); }

  // Runs queued work, including work queued meanwhile.
  void runPending();
  // Fires one timer once; false when it is unknown or cancelled.
  bool fire(sys::TaskID id);
  // Fires every live timer once, in the order they were scheduled.
  void fireAll();

  const std::map<sys::TaskID, Timer>& timers() const { return timers_; }
  int syncCalls() const { return syncCalls_; }

 private:
  ManualRunLoop& loop_;
  std::string label_;
  std::deque<sys::Task> pending_;
  std::map<sys::TaskID, Timer> timers_;
  int syncCalls_ = 0;
};

// A main loop whose timers and posted work run only when a test says so.
// Single-threaded; it must outlive its queues.
class ManualRunLoop final : public sys::RunLoop {
 public:
  struct Timer {
    double interval = 0;  // the period, or the delay of a one-shot item
    double tolerance = 0;
    bool once = false;
    sys::Task task;
  };

  sys::TaskID scheduleRepeating(double interval, double tolerance, sys::Task task) override;
  sys::TaskID scheduleAfter(double delay, sys::Task task) override;
  void cancel(sys::TaskID id) override { timers_.erase(id); }
  void post(sys::Task task) override { posted_.push_back(std::move(task)); }
  std::unique_ptr<sys::SerialQueue> makeSerialQueue(std::string label) override;

  // Runs posted work, including work posted meanwhile.
  void runPosted();
  // Fires a main-loop timer once (a delayed item is then gone); false when unknown.
  bool fire(sys::TaskID id);

  const std::map<sys::TaskID, Timer>& timers() const { return timers_; }
  // The live queues, oldest first.
  const std::vector<ManualSerialQueue*>& queues() const { return queues_; }
  // The newest live queue with this label, or null.
  ManualSerialQueue* queue(const std::string& label) const;

 private:
  friend class ManualSerialQueue;
  sys::TaskID nextID() { return ++lastID_; }

  sys::TaskID lastID_ = 0;
  std::map<sys::TaskID, Timer> timers_;
  std::deque<sys::Task> posted_;
  std::vector<ManualSerialQueue*> queues_;
};

}  // namespace ebbwise::test

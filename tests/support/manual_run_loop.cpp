#include "support/manual_run_loop.h"

#include <algorithm>

namespace ebbwise::test {

ManualSerialQueue::~ManualSerialQueue() {
  std::erase(loop_.queues_, this);
}

void ManualSerialQueue::sync(sys::Task task) {
  ++syncCalls_;
  runPending();
  task();
}

sys::TaskID ManualSerialQueue::scheduleRepeating(double firstDelay, double interval, double leeway,
                                                 sys::Task task) {
  const sys::TaskID id = loop_.nextID();
  timers_.emplace(id, Timer{firstDelay, interval, leeway, std::move(task)});
  return id;
}

void ManualSerialQueue::runPending() {
  while (!pending_.empty()) {
    sys::Task task = std::move(pending_.front());
    pending_.pop_front();
    task();
  }
}

bool ManualSerialQueue::fire(sys::TaskID id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return false;
  // A copy, so the handler may cancel its own timer.
  sys::Task task = it->second.task;
  task();
  return true;
}

void ManualSerialQueue::fireAll() {
  std::vector<sys::TaskID> ids;
  for (const auto& [id, timer] : timers_) ids.push_back(id);
  for (sys::TaskID id : ids) fire(id);
}

sys::TaskID ManualRunLoop::scheduleRepeating(double interval, double tolerance, sys::Task task) {
  const sys::TaskID id = nextID();
  timers_.emplace(id, Timer{interval, tolerance, false, std::move(task)});
  return id;
}

sys::TaskID ManualRunLoop::scheduleAfter(double delay, sys::Task task) {
  const sys::TaskID id = nextID();
  timers_.emplace(id, Timer{delay, 0, true, std::move(task)});
  return id;
}

std::unique_ptr<sys::SerialQueue> ManualRunLoop::makeSerialQueue(std::string label) {
  auto queue = std::make_unique<ManualSerialQueue>(*this, std::move(label));
  queues_.push_back(queue.get());
  return queue;
}

void ManualRunLoop::runPosted() {
  while (!posted_.empty()) {
    sys::Task task = std::move(posted_.front());
    posted_.pop_front();
    task();
  }
}

bool ManualRunLoop::fire(sys::TaskID id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return false;
  sys::Task task = it->second.task;
  if (it->second.once) timers_.erase(it);
  task();
  return true;
}

ManualSerialQueue* ManualRunLoop::queue(const std::string& label) const {
  for (auto it = queues_.rbegin(); it != queues_.rend(); ++it) {
    if ((*it)->label() == label) return *it;
  }
  return nullptr;
}

}  // namespace ebbwise::test

#include "sys/real_serial_queue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "sys/deadline_timers.h"

namespace ebbwise::sys {

namespace {

using SteadyClock = std::chrono::steady_clock;

// What a `sync` caller waits for. The queued item holds the only reference to
// a Finisher, so the caller is released when the item is destroyed: after it
// ran, or when a closing queue dropped it.
struct SyncCall {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
};

struct Finisher {
  explicit Finisher(std::shared_ptr<SyncCall> call) : call(std::move(call)) {}
  ~Finisher() {
    {
      std::lock_guard lock(call->mutex);
      call->done = true;
    }
    call->finished.notify_all();
  }
  Finisher(const Finisher&) = delete;
  Finisher& operator=(const Finisher&) = delete;

  std::shared_ptr<SyncCall> call;
};

}  // namespace

struct RealSerialQueue::State {
  explicit State(std::shared_ptr<std::atomic<TaskID>> ids) : ids(std::move(ids)) {}

  const std::shared_ptr<std::atomic<TaskID>> ids;
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Task> work;
  DeadlineTimers timers;
  bool closing = false;
};

RealSerialQueue::RealSerialQueue(std::string label, std::shared_ptr<std::atomic<TaskID>> ids)
    : label_(std::move(label)),
      state_(
          std::make_shared<State>(ids ? std::move(ids) : std::make_shared<std::atomic<TaskID>>(1))),
      worker_(&RealSerialQueue::work, state_),
      workerID_(worker_.get_id()) {}

RealSerialQueue::~RealSerialQueue() {
  std::deque<Task> droppedWork;
  std::vector<std::shared_ptr<Task>> droppedTimers;
  {
    std::lock_guard lock(state_->mutex);
    state_->closing = true;
    droppedWork.swap(state_->work);
    droppedTimers = state_->timers.clear();
  }
  state_->changed.notify_all();
  // Released outside the lock: their captures may call back into the queue.
  droppedWork.clear();
  droppedTimers.clear();
  if (std::this_thread::get_id() == workerID_) {
    worker_.detach();  // the running item is this destructor's caller
  } else {
    worker_.join();
  }
}

void RealSerialQueue::work(std::shared_ptr<State> state) {
  std::unique_lock lock(state->mutex);
  while (!state->closing) {
    // Each timer fires at most once per pass and one work item runs after
    // them, so neither can starve the other.
    bool ran = false;
    const auto now = SteadyClock::now();
    while (!state->closing) {
      std::shared_ptr<Task> timer = state->timers.popDue(now);
      if (!timer) break;
      lock.unlock();
      (*timer)();
      timer.reset();
      lock.lock();
      ran = true;
    }
    if (state->closing) break;
    if (!state->work.empty()) {
      Task task = std::move(state->work.front());
      state->work.pop_front();
      lock.unlock();
      task();
      task = nullptr;
      lock.lock();
      continue;
    }
    if (ran) continue;
    if (auto wake = state->timers.wakeTime()) {
      state->changed.wait_until(lock, *wake);
    } else {
      state->changed.wait(lock);
    }
  }
}

// Callers notify the worker before letting go of the lock: once it is free,
// the work may already have destroyed this queue.
void RealSerialQueue::async(Task task) {
  std::lock_guard lock(state_->mutex);
  if (state_->closing) return;  // the task is released on return, outside the lock
  state_->work.push_back(std::move(task));
  state_->changed.notify_one();
}

void RealSerialQueue::sync(Task task) {
  if (std::this_thread::get_id() == workerID_) {
    task();
    return;
  }
  auto call = std::make_shared<SyncCall>();
  {
    Task item = [task = std::move(task), finisher = std::make_shared<Finisher>(call)] { task(); };
    std::lock_guard lock(state_->mutex);
    if (state_->closing) return;
    state_->work.push_back(std::move(item));
    state_->changed.notify_one();
  }
  std::unique_lock lock(call->mutex);
  call->finished.wait(lock, [&] { return call->done; });
}

TaskID RealSerialQueue::scheduleRepeating(double firstDelay, double interval, double leeway,
                                          Task task) {
  TaskID id = state_->ids->fetch_add(1);
  std::lock_guard lock(state_->mutex);
  if (state_->closing) return id;
  state_->timers.add(id, SteadyClock::now() + DeadlineTimers::span(firstDelay),
                     DeadlineTimers::period(interval), DeadlineTimers::span(leeway),
                     std::move(task));
  state_->changed.notify_one();
  return id;
}

void RealSerialQueue::cancel(TaskID id) {
  std::shared_ptr<Task> dropped;
  std::lock_guard lock(state_->mutex);
  dropped = state_->timers.cancel(id);
}

}  // namespace ebbwise::sys

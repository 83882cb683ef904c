#include "sys/virtual_run_loop.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <queue>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ebbwise::sys {
namespace {

// Virtual time is kept in whole nanoseconds so that repeated steps add up
// exactly (ten steps of 0.1 s reach a timer due at 1 s).
using Nanos = std::int64_t;
constexpr Nanos never = std::numeric_limits<Nanos>::max();
// Spans from a century on count as "never"; the counter could not hold them.
constexpr double longestSpan = 100.0 * 365.25 * 86'400.0;

// Negative and NaN spans are zero.
Nanos toNanos(double seconds) {
  if (!(seconds > 0)) return 0;
  if (seconds >= longestSpan) return never;
  return static_cast<Nanos>(std::llround(seconds * 1e9));
}

Nanos later(Nanos time, Nanos span) {
  return span >= never - time ? never : time + span;
}

}  // namespace

// The loop's state: the virtual clock and every pending event. Shared by the
// loop and its queues; one mutex guards it, and no task runs under it, so tasks
// may call back into the loop freely.
class VirtualRunLoop::Timeline {
 public:
  // Who an event belongs to: the loop itself or one serial queue.
  using Owner = std::uint64_t;
  static constexpr Owner loopOwner = 0;

  // Only timers and delayed work can be cancelled; queued and posted work can
  // only be dropped with its queue.
  enum class Kind { work, delayed, timer };

  Timeline(Date start, Timebase timebase, double uptime)
      : start_(start), timebase_(timebase), bootTicks_(timebase.secondsToTicks(uptime)) {}

  Date now() const {
    std::lock_guard lock(mutex_);
    return start_ + static_cast<double>(elapsed_) / 1e9;
  }
  std::uint64_t ticks() const {
    std::lock_guard lock(mutex_);
    return bootTicks_ + timebase_.secondsToTicks(static_cast<double>(awake_) / 1e9);
  }
  Timebase timebase() const { return timebase_; }
  Nanos elapsed() const {
    std::lock_guard lock(mutex_);
    return elapsed_;
  }
  Nanos sinceStart(Date date) const { return toNanos(date - start_); }
  std::size_t pending() const {
    std::lock_guard lock(mutex_);
    return events_.size();
  }

  Owner newQueue() {
    std::lock_guard lock(mutex_);
    Owner owner = nextOwner_++;
    queued_[owner];
    return owner;
  }

  TaskID add(Owner owner, Kind kind, Nanos delay, Nanos interval, Task task) {
    std::lock_guard lock(mutex_);
    TaskID id = nextID_++;
    // After the loop or the queue is gone nothing would ever run it; the task
    // is dropped when this call returns.
    auto queue = queued_.find(owner);
    if (closed_ || (owner != loopOwner && queue == queued_.end())) return id;
    Nanos due = later(elapsed_, delay);
    std::uint64_t seq = nextSeq_++;
    events_.emplace(id, Event{std::make_shared<Task>(std::move(task)), owner, kind, interval, seq});
    heap_.push(Slot{due, seq, id});
    if (kind == Kind::work && owner != loopOwner) queue->second.push_back(id);
    return id;
  }

  void cancel(Owner owner, TaskID id) {
    std::shared_ptr<Task> dropped;  // released after the lock, in case its captures call back
    std::lock_guard lock(mutex_);
    auto it = events_.find(id);
    if (it == events_.end() || it->second.owner != owner || it->second.kind == Kind::work) return;
    dropped = std::move(it->second.task);
    events_.erase(it);
  }

  void suspend(Nanos span) {
    std::lock_guard lock(mutex_);
    elapsed_ = later(elapsed_, span);
  }

  // Runs every event due by `limit` (or by now, if the clock has passed
  // `limit`), then moves the clock to `limit`; a stop ends the run at once.
  void run(Nanos limit) {
    {
      std::lock_guard lock(mutex_);
      ++runs_;
    }
    while (runNext(limit)) {
    }
    std::lock_guard lock(mutex_);
    --runs_;
    if (stopped_) {
      stopped_ = false;
      return;
    }
    if (limit != never && limit > elapsed_) advanceTo(limit);
  }

  void stop() {
    std::lock_guard lock(mutex_);
    if (runs_ > 0) stopped_ = true;
  }

  // Runs the queue's work queued so far, then `task`, on the calling thread.
  void sync(Owner owner, Task task) {
    std::size_t earlier = 0;
    {
      std::lock_guard lock(mutex_);
      auto queue = queued_.find(owner);
      if (queue == queued_.end()) return;
      // Called from the queue's own work: the earlier work is queued behind the
      // running item, so only the new task can run now.
      if (running_ != owner) earlier = queue->second.size();
    }
    for (; earlier > 0; --earlier) {
      std::shared_ptr<Task> next;
      Running running(*this, owner);
      {
        std::lock_guard lock(mutex_);
        auto queue = queued_.find(owner);
        if (queue == queued_.end() || queue->second.empty()) break;
        auto it = events_.find(queue->second.front());
        queue->second.pop_front();
        if (it == events_.end()) continue;
        next = std::move(it->second.task);
        events_.erase(it);  // its heap slot goes stale and is skipped
      }
      (*next)();
    }
    {
      std::lock_guard lock(mutex_);
      if (queued_.find(owner) == queued_.end()) return;  // an earlier item destroyed the queue
    }
    Running running(*this, owner);
    task();
  }

  // The queue is being destroyed: its timers and pending work go, and no event
  // that could reach it stays behind.
  void dropQueue(Owner owner) {
    std::vector<std::shared_ptr<Task>> dropped;
    std::lock_guard lock(mutex_);
    queued_.erase(owner);
    for (auto it = events_.begin(); it != events_.end();) {
      if (it->second.owner == owner) {
        dropped.push_back(std::move(it->second.task));
        it = events_.erase(it);
      } else {
        ++it;
      }
    }
  }

  // The loop is being destroyed: everything pending goes, and queues that
  // outlive it can no longer add work.
  void close() {
    std::vector<std::shared_ptr<Task>> dropped;
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (auto& [id, event] : events_) dropped.push_back(std::move(event.task));
    events_.clear();
    heap_ = {};
    queued_.clear();
  }

 private:
  struct Event {
    std::shared_ptr<Task> task;  // shared so a timer can cancel itself while it runs
    Owner owner;
    Kind kind;
    Nanos interval;
    std::uint64_t seq;  // of the event's live heap slot
  };
  struct Slot {
    Nanos due;
    std::uint64_t seq;
    TaskID id;
    bool operator>(const Slot& other) const {
      return due != other.due ? due > other.due : seq > other.seq;
    }
  };

  // Marks whose work is running, so a queue's `sync` from its own work can
  // tell; restores the outer mark when a nested run ends.
  class Running {
   public:
    Running(Timeline& timeline, Owner owner) : timeline_(timeline) {
      std::lock_guard lock(timeline_.mutex_);
      outer_ = timeline_.running_;
      timeline_.running_ = owner;
    }
    ~Running() {
      std::lock_guard lock(timeline_.mutex_);
      timeline_.running_ = outer_;
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

   private:
    Timeline& timeline_;
    Owner outer_ = loopOwner;
  };

  void advanceTo(Nanos time) {
    awake_ += time - elapsed_;
    elapsed_ = time;
  }

  bool runNext(Nanos limit) {
    std::shared_ptr<Task> task;
    Owner owner = loopOwner;
    {
      std::lock_guard lock(mutex_);
      if (stopped_ || !takeDue(limit, task, owner)) return false;
    }
    Running running(*this, owner);
    (*task)();
    return true;
  }

  // Pops the first live event due by `limit` or by now and moves the clock to
  // it; re-arms a timer before it runs so that it can cancel itself.
  bool takeDue(Nanos limit, std::shared_ptr<Task>& task, Owner& owner) {
    while (!heap_.empty()) {
      Slot top = heap_.top();
      auto it = events_.find(top.id);
      if (it == events_.end() || it->second.seq != top.seq) {
        heap_.pop();  // cancelled, dropped, or already run by a `sync`
        continue;
      }
      if (top.due == never || top.due > std::max(limit, elapsed_)) return false;
      heap_.pop();
      // Only a suspend makes an event late; a late timer fires once at wake
      // and then keeps its period from there.
      bool late = top.due < elapsed_;
      if (!late) advanceTo(top.due);
      Event& event = it->second;
      task = event.task;
      owner = event.owner;
      if (event.kind == Kind::timer) {
        event.seq = nextSeq_++;
        heap_.push(Slot{later(late ? elapsed_ : top.due, event.interval), event.seq, top.id});
      } else {
        if (event.kind == Kind::work && owner != loopOwner) forgetQueued(owner, top.id);
        events_.erase(it);
      }
      return true;
    }
    return false;
  }

  void forgetQueued(Owner owner, TaskID id) {
    auto queue = queued_.find(owner);
    if (queue == queued_.end()) return;
    auto& ids = queue->second;
    // Work leaves its queue in order, so this is nearly always the front.
    for (auto it = ids.begin(); it != ids.end(); ++it) {
      if (*it == id) {
        ids.erase(it);
        return;
      }
    }
  }

  const Date start_;
  const Timebase timebase_;
  const std::uint64_t bootTicks_;

  mutable std::mutex mutex_;
  Nanos elapsed_ = 0;  // since start, asleep or awake
  Nanos awake_ = 0;    // since start, awake only; drives the tick counter
  std::uint64_t nextSeq_ = 0;
  TaskID nextID_ = 1;
  Owner nextOwner_ = loopOwner + 1;
  Owner running_ = loopOwner;
  bool closed_ = false;
  int runs_ = 0;          // runs in progress, nested ones included
  bool stopped_ = false;  // the innermost run ends after its running task
  std::unordered_map<TaskID, Event> events_;
  std::priority_queue<Slot, std::vector<Slot>, std::greater<>> heap_;
  // Each live queue's work not yet run, oldest first.
  std::unordered_map<Owner, std::deque<TaskID>> queued_;
};

class VirtualRunLoop::TimelineClock final : public Clock {
 public:
  explicit TimelineClock(const Timeline& timeline) : timeline_(timeline) {}
  Date now() const override { return timeline_.now(); }
  std::uint64_t monotonicTicks() const override { return timeline_.ticks(); }
  Timebase timebase() const override { return timeline_.timebase(); }

 private:
  const Timeline& timeline_;
};

class VirtualRunLoop::Queue final : public SerialQueue {
 public:
  Queue(std::shared_ptr<Timeline> timeline, std::string label)
      : timeline_(std::move(timeline)), owner_(timeline_->newQueue()), label_(std::move(label)) {}
  ~Queue() override { timeline_->dropQueue(owner_); }

  const std::string& label() const override { return label_; }

  void async(Task task) override {
    timeline_->add(owner_, Timeline::Kind::work, 0, 0, std::move(task));
  }

  void sync(Task task) override {
    // The work may destroy this queue; the timeline must outlive the call.
    std::shared_ptr<Timeline> timeline = timeline_;
    timeline->sync(owner_, std::move(task));
  }

  TaskID scheduleRepeating(double firstDelay, double interval, double /*leeway*/,
                           Task task) override {
    return timeline_->add(owner_, Timeline::Kind::timer, toNanos(firstDelay),
                          std::max(toNanos(interval), toNanos(minimumInterval)), std::move(task));
  }

  void cancel(TaskID id) override { timeline_->cancel(owner_, id); }

 private:
  std::shared_ptr<Timeline> timeline_;
  Timeline::Owner owner_;
  std::string label_;
};

VirtualRunLoop::VirtualRunLoop(Date start, Timebase timebase, double uptime)
    : timeline_(std::make_shared<Timeline>(start, timebase, uptime)),
      clock_(std::make_unique<TimelineClock>(*timeline_)) {}

VirtualRunLoop::~VirtualRunLoop() {
  timeline_->close();
}

Clock& VirtualRunLoop::clock() {
  return *clock_;
}

Date VirtualRunLoop::now() const {
  return timeline_->now();
}

void VirtualRunLoop::runFor(double seconds) {
  timeline_->run(later(timeline_->elapsed(), toNanos(seconds)));
}

void VirtualRunLoop::runUntil(Date date) {
  timeline_->run(timeline_->sinceStart(date));
}

void VirtualRunLoop::runUntilIdle() {
  timeline_->run(timeline_->elapsed());
}

void VirtualRunLoop::suspend(double seconds) {
  timeline_->suspend(toNanos(seconds));
}

void VirtualRunLoop::stop() {
  timeline_->stop();
}

std::size_t VirtualRunLoop::pendingEvents() const {
  return timeline_->pending();
}

TaskID VirtualRunLoop::scheduleRepeating(double interval, double /*tolerance*/, Task task) {
  Nanos period = std::max(toNanos(interval), toNanos(minimumInterval));
  return timeline_->add(Timeline::loopOwner, Timeline::Kind::timer, period, period,
                        std::move(task));
}

TaskID VirtualRunLoop::scheduleAfter(double delay, Task task) {
  return timeline_->add(Timeline::loopOwner, Timeline::Kind::delayed, toNanos(delay), 0,
                        std::move(task));
}

void VirtualRunLoop::cancel(TaskID id) {
  timeline_->cancel(Timeline::loopOwner, id);
}

void VirtualRunLoop::post(Task task) {
  timeline_->add(Timeline::loopOwner, Timeline::Kind::work, 0, 0, std::move(task));
}

std::unique_ptr<SerialQueue> VirtualRunLoop::makeSerialQueue(std::string label) {
  return std::make_unique<Queue>(timeline_, std::move(label));
}

}  // namespace ebbwise::sys

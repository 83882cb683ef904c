#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "sys/run_loop.h"

namespace ebbwise::sys {

// One answer to a request that may never be answered: the first of the
// answer and the deadline goes to the handler, on the loop; the other is
// dropped. The loop must outlive the deadline.
template <typename T>
class TimedAnswer : public std::enable_shared_from_this<TimedAnswer<T>> {
 public:
  using Handler = std::function<void(T)>;

  // Arms the deadline: `seconds` from now the handler gets `onTimeout`
  // unless an answer came first.
  static std::shared_ptr<TimedAnswer> start(RunLoop& loop, double seconds, T onTimeout,
                                            Handler handler) {
    auto answer = std::shared_ptr<TimedAnswer>(new TimedAnswer(loop, std::move(handler)));
    answer->timer_ = loop.scheduleAfter(seconds, [answer, value = std::move(onTimeout)]() mutable {
      answer->finish(std::move(value));
    });
    return answer;
  }

  // Hands the answer over; safe from any thread, never runs the handler
  // inside the call. `start` runs on the loop's thread.
  void deliver(T value) {
    loop_.post([self = this->shared_from_this(), value = std::move(value)]() mutable {
      if (self->timer_) self->loop_.cancel(*self->timer_);
      self->finish(std::move(value));
    });
  }

 private:
  TimedAnswer(RunLoop& loop, Handler handler) : loop_(loop), handler_(std::move(handler)) {}

  void finish(T value) {
    if (!handler_) return;
    Handler handler = std::move(handler_);
    handler_ = nullptr;
    handler(std::move(value));
  }

  RunLoop& loop_;
  Handler handler_;
  std::optional<TaskID> timer_;
};

}  // namespace ebbwise::sys

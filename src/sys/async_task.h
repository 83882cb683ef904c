#pragma once

#include <coroutine>
#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

#include "sys/run_loop.h"

namespace ebbwise::sys {

template <typename T>
class AsyncTask;

namespace detail {

// Where a finished task goes next: back into the task that awaited it, or
// nowhere for a task started on its own.
struct ResumeAwaiter {
  bool await_ready() const noexcept { return false; }
  template <typename Promise>
  std::coroutine_handle<> await_suspend(std::coroutine_handle<Promise> done) noexcept {
    std::coroutine_handle<> next = done.promise().continuation;
    return next ? next : std::noop_coroutine();
  }
  void await_resume() const noexcept {}
};

struct PromiseBase {
  std::coroutine_handle<> continuation;

  // A task starts only when it is awaited or started, so its owner always
  // holds it before any of its work runs.
  std::suspend_always initial_suspend() const noexcept { return {}; }
  ResumeAwaiter final_suspend() const noexcept { return {}; }
  // The system does not throw across its layers; a throw here is a bug.
  void unhandled_exception() const noexcept { std::terminate(); }
};

template <typename T>
struct Promise : PromiseBase {
  std::optional<T> result;
  AsyncTask<T> get_return_object();
  void return_value(T value) { result = std::move(value); }
};

template <>
struct Promise<void> : PromiseBase {
  AsyncTask<void> get_return_object();
  void return_void() const noexcept {}
};

}  // namespace detail

// A piece of work on the main loop written as a coroutine: it runs on the
// loop's thread and suspends only where it awaits (a `sleepFor`, another
// task), letting the loop's timers run in between. The task owns its frame:
// destroying it, also mid-way, ends the work, and whatever it awaited then
// (a pending sleep, an awaited task) is cancelled with it.
template <typename T = void>
class [[nodiscard]] AsyncTask {
 public:
  using promise_type = detail::Promise<T>;

  AsyncTask() = default;
  explicit AsyncTask(std::coroutine_handle<promise_type> handle) : handle_(handle) {}
  AsyncTask(AsyncTask&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
  AsyncTask& operator=(AsyncTask&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, {});
    }
    return *this;
  }
  AsyncTask(const AsyncTask&) = delete;
  AsyncTask& operator=(const AsyncTask&) = delete;
  ~AsyncTask() { reset(); }

  // Runs the task up to its first suspension, as a task of its own.
  void start() {
    if (handle_ && !handle_.done()) handle_.resume();
  }
  bool isRunning() const { return handle_ && !handle_.done(); }
  bool isDone() const { return handle_ && handle_.done(); }

  // Ends the work where it stands (or frees a finished frame).
  void reset() {
    if (handle_) std::exchange(handle_, {}).destroy();
  }

  // Awaited from another task: runs this one, and resumes the awaiting task
  // with its result when it is done.
  bool await_ready() const noexcept { return !handle_ || handle_.done(); }
  std::coroutine_handle<> await_suspend(std::coroutine_handle<> awaiting) noexcept {
    handle_.promise().continuation = awaiting;
    return handle_;
  }
  T await_resume() {
    if constexpr (!std::is_void_v<T>) return std::move(*handle_.promise().result);
  }

 private:
  std::coroutine_handle<promise_type> handle_;
};

namespace detail {

template <typename T>
AsyncTask<T> Promise<T>::get_return_object() {
  return AsyncTask<T>(std::coroutine_handle<Promise<T>>::from_promise(*this));
}

inline AsyncTask<void> Promise<void>::get_return_object() {
  return AsyncTask<void>(std::coroutine_handle<Promise<void>>::from_promise(*this));
}

}  // namespace detail

// `co_await sleepFor(loop, seconds)`: suspends the task and resumes it from
// the loop after `seconds` of the loop's monotonic time. When the task is
// destroyed while it sleeps, the wake-up is cancelled.
class [[nodiscard]] SleepAwaiter {
 public:
  SleepAwaiter(RunLoop& loop, double seconds) : loop_(loop), seconds_(seconds) {}
  SleepAwaiter(const SleepAwaiter&) = delete;
  SleepAwaiter& operator=(const SleepAwaiter&) = delete;
  ~SleepAwaiter() {
    if (pending_) loop_.cancel(pending_);
  }

  bool await_ready() const noexcept { return false; }
  void await_suspend(std::coroutine_handle<> task) {
    pending_ = loop_.scheduleAfter(seconds_, [this, task] {
      pending_ = 0;
      task.resume();
    });
  }
  void await_resume() const noexcept {}

 private:
  RunLoop& loop_;
  double seconds_;
  TaskID pending_ = 0;
};

inline SleepAwaiter sleepFor(RunLoop& loop, double seconds) {
  return SleepAwaiter(loop, seconds);
}

}  // namespace ebbwise::sys

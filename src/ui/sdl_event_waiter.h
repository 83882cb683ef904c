#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "sys/run_loop_waiter.h"

union SDL_Event;

namespace ebbwise::ui {

// Lets the main run loop sleep in SDL's event wait, so window events, the
// loop's timers and work posted from other threads share the main thread
// without polling. Until a window session is attached it waits like the
// plain waiter. Events that arrive during a wait are handed to the attached
// handler there, on the loop's thread.
class SdlEventWaiter final : public sys::RunLoopWaiter {
 public:
  using Handler = std::function<void(const SDL_Event&)>;

  void wait(std::optional<TimePoint> deadline) override;
  void wake() override;

  // Called on the loop's thread with SDL's video set up, and before it goes.
  void attach(Handler handler);
  void detach();

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  bool pending_ = false;
  std::atomic<bool> attached_ = false;
  std::atomic<std::uint32_t> wakeType_ = 0;
  Handler handler_;
};

}  // namespace ebbwise::ui

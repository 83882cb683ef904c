#include "ui/sdl_event_waiter.h"

#include <SDL2/SDL.h>

#include <algorithm>

namespace ebbwise::ui {

void SdlEventWaiter::attach(Handler handler) {
  handler_ = std::move(handler);
  std::uint32_t type = SDL_RegisterEvents(1);
  std::lock_guard lock(mutex_);
  wakeType_ =
      type == static_cast<std::uint32_t>(-1) ? static_cast<std::uint32_t>(SDL_USEREVENT) : type;
  attached_ = true;
  woken_.notify_one();
}

void SdlEventWaiter::detach() {
  std::lock_guard lock(mutex_);
  attached_ = false;
  handler_ = nullptr;
}

void SdlEventWaiter::wait(std::optional<TimePoint> deadline) {
  {
    std::unique_lock lock(mutex_);
    if (pending_) {
      pending_ = false;
      return;
    }
    if (!attached_) {
      auto woken = [this] { return pending_ || attached_; };
      if (deadline) {
        woken_.wait_until(lock, *deadline, woken);
      } else {
        woken_.wait(lock, woken);
      }
      pending_ = false;
      return;
    }
  }
  int timeout = -1;
  if (deadline) {
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
    timeout = static_cast<int>(std::clamp<long long>(left.count(), 0, 24 * 3600 * 1000));
  }
  SDL_Event event;
  bool got = timeout < 0 ? SDL_WaitEvent(&event) : SDL_WaitEventTimeout(&event, timeout);
  // Hand on this event and every other already queued, so the loop does not
  // come back for each one.
  while (got) {
    if (event.type != wakeType_ && handler_) handler_(event);
    got = SDL_PollEvent(&event);
  }
  std::lock_guard lock(mutex_);
  pending_ = false;
}

void SdlEventWaiter::wake() {
  std::lock_guard lock(mutex_);
  pending_ = true;
  if (attached_) {
    SDL_Event event{};
    event.type = wakeType_;
    SDL_PushEvent(&event);
  } else {
    woken_.notify_one();
  }
}

}  // namespace ebbwise::ui

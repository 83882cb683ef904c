#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "ui/sdl_event_waiter.h"

namespace ebbwise::ui {

// SDL's video on the X server named by DISPLAY, for as long as the object
// lives, with the main loop's waiter handing each window its events.
class SdlSession {
 public:
  // Nothing, and `error` says why, when there is no X display to open.
  static std::unique_ptr<SdlSession> open(SdlEventWaiter& waiter, std::string& error);
  ~SdlSession();
  SdlSession(const SdlSession&) = delete;
  SdlSession& operator=(const SdlSession&) = delete;

  // The X screen's size in pixels.
  int screenWidth() const { return width_; }
  int screenHeight() const { return height_; }

  // The pointer in X screen pixels.
  std::pair<int, int> pointer() const;

  // Events of the window with SDL id `windowID` go to `handler`.
  void listen(std::uint32_t windowID, SdlEventWaiter::Handler handler);
  void forget(std::uint32_t windowID);

 private:
  SdlSession(SdlEventWaiter& waiter, int width, int height);
  void dispatch(const SDL_Event& event);

  SdlEventWaiter& waiter_;
  int width_;
  int height_;
  std::map<std::uint32_t, SdlEventWaiter::Handler> handlers_;
  void* previousErrorHandler_ = nullptr;  // Xlib's, restored at the end
};

}  // namespace ebbwise::ui

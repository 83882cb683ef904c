#include "ui/sdl_session.h"

#include <SDL2/SDL.h>

#include <X11/Xlib.h>

#include <cstdlib>

namespace ebbwise::ui {

namespace {

// Xlib's own handler ends the process on any protocol error; a window that
// lost a request (a shape set on a window the server just dropped, say) is no
// reason for that.
int ignoreXError(Display*, XErrorEvent*) {
  return 0;
}

}  // namespace

std::unique_ptr<SdlSession> SdlSession::open(SdlEventWaiter& waiter, std::string& error) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    error = "There is no X display to show the notch on: DISPLAY is not set.";
    return nullptr;
  }
  // The X11 driver even under Wayland (through Xwayland): shapes and
  // stacking are X11 calls. SDL leaves signals, the screen saver and the
  // compositor alone, and a window shown does not take the focus.
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  SDL_SetHint(SDL_HINT_WINDOW_NO_ACTIVATION_WHEN_SHOWN, "1");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  // Windows draw through X11's own framebuffer: an accelerated one would make
  // SDL recreate the X window under an OpenGL visual, losing its shape.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    error = std::string("Can't open the X display \"") + display + "\": " + SDL_GetError();
    SDL_Quit();
    return nullptr;
  }
  SDL_Rect bounds{0, 0, 0, 0};
  if (SDL_GetDisplayBounds(0, &bounds) != 0 || bounds.w <= 0 || bounds.h <= 0) {
    error = std::string("The X display \"") + display + "\" has no screen: " + SDL_GetError();
    SDL_Quit();
    return nullptr;
  }
  std::unique_ptr<SdlSession> session(new SdlSession(waiter, bounds.w, bounds.h));
  session->previousErrorHandler_ = reinterpret_cast<void*>(XSetErrorHandler(ignoreXError));
  waiter.attach([s = session.get()](const SDL_Event& e) { s->dispatch(e); });
  return session;
}

SdlSession::SdlSession(SdlEventWaiter& waiter, int width, int height)
    : waiter_(waiter), width_(width), height_(height) {}

SdlSession::~SdlSession() {
  waiter_.detach();
  SDL_Quit();
  XSetErrorHandler(reinterpret_cast<XErrorHandler>(previousErrorHandler_));
}

std::pair<int, int> SdlSession::pointer() const {
  int x = 0, y = 0;
  SDL_GetGlobalMouseState(&x, &y);
  return {x, y};
}

void SdlSession::listen(std::uint32_t windowID, SdlEventWaiter::Handler handler) {
  handlers_[windowID] = std::move(handler);
}

void SdlSession::forget(std::uint32_t windowID) {
  handlers_.erase(windowID);
}

void SdlSession::dispatch(const SDL_Event& event) {
  std::uint32_t id = 0;
  switch (event.type) {
    case SDL_WINDOWEVENT:
      id = event.window.windowID;
      break;
    case SDL_MOUSEMOTION:
      id = event.motion.windowID;
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      id = event.button.windowID;
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      id = event.key.windowID;
      break;
    default:
      return;
  }
  auto it = handlers_.find(id);
  if (it != handlers_.end()) {
    auto handler = it->second;  // the handler may forget its window
    handler(event);
  }
}

}  // namespace ebbwise::ui

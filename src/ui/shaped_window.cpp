#include "ui/shaped_window.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <cstring>

#include "ui/image_canvas.h"

namespace ebbwise::ui {

namespace {

constexpr std::uint32_t kVisible = 51;  // alpha (of 255) from which a pixel shows

Display* xDisplay(void* display) {
  return static_cast<Display*>(display);
}

int side(int v) {
  return std::max(v, 1);
}

}  // namespace

std::unique_ptr<ShapedWindow> ShapedWindow::create(const Options& options, std::string& error) {
  // A window that never takes the focus is an override-redirect one (SDL's
  // tooltip kind): no window manager moves, decorates or focuses it.
  std::uint32_t flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP |
                        SDL_WINDOW_SKIP_TASKBAR;
  if (!options.takesFocus) flags |= SDL_WINDOW_TOOLTIP;
  SDL_Window* window =
      SDL_CreateWindow(options.title.c_str(), options.frame.x, options.frame.y,
                       side(options.frame.width), side(options.frame.height), flags);
  if (!window) {
    error = std::string("Can't make the window \"") + options.title + "\": " + SDL_GetError();
    return nullptr;
  }
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
    error = "The window \"" + options.title + "\" is not an X11 window.";
    SDL_DestroyWindow(window);
    return nullptr;
  }
  int event = 0, code = 0;
  if (!XShapeQueryExtension(info.info.x11.display, &event, &code)) {
    error = "The X server has no shape extension, so the window \"" + options.title +
            "\" can't be shaped.";
    SDL_DestroyWindow(window);
    return nullptr;
  }
  std::unique_ptr<ShapedWindow> w(new ShapedWindow(window, options));
  w->display_ = info.info.x11.display;
  w->xWindow_ = info.info.x11.window;
  if (!options.takesFocus) {
    XWMHints* hints = XAllocWMHints();
    hints->flags = InputHint;
    hints->input = False;
    XSetWMHints(xDisplay(w->display_), w->xWindow_, hints);
    XFree(hints);
  }
  w->setInputRegion({});
  return w;
}

ShapedWindow::ShapedWindow(SDL_Window* window, const Options& options)
    : window_(window), frame_(options.frame), takesFocus_(options.takesFocus) {}

ShapedWindow::~ShapedWindow() {
  SDL_DestroyWindow(window_);
}

std::uint32_t ShapedWindow::id() const {
  return SDL_GetWindowID(window_);
}

void ShapedWindow::setFrame(const PixelRect& frame) {
  if (frame == frame_) return;
  if (frame.width != frame_.width || frame.height != frame_.height) {
    SDL_SetWindowSize(window_, side(frame.width), side(frame.height));
    mask_.clear();
  }
  SDL_SetWindowPosition(window_, frame.x, frame.y);
  frame_ = frame;
}

void ShapedWindow::show() {
  if (shown_) return;
  Display* display = xDisplay(display_);
  Window focus = 0;
  int revert = RevertToParent;
  XGetInputFocus(display, &focus, &revert);
  SDL_ShowWindow(window_);
  shown_ = true;
  // Without a window manager SDL hands every window it shows the focus; one
  // that never takes it gives it back.
  if (!takesFocus_) {
    Window now = 0;
    int nowRevert = 0;
    XGetInputFocus(display, &now, &nowRevert);
    if (now == xWindow_) XSetInputFocus(display, focus, revert, CurrentTime);
  }
  XRaiseWindow(xDisplay(display_), xWindow_);
  if (takesFocus_) {
    SDL_RaiseWindow(window_);
    SDL_SetWindowInputFocus(window_);
  }
  XFlush(xDisplay(display_));
}

void ShapedWindow::hide() {
  if (!shown_) return;
  SDL_HideWindow(window_);
  shown_ = false;
}

void ShapedWindow::present(ImageCanvas& image) {
  SDL_Surface* surface = SDL_GetWindowSurface(window_);
  if (!surface) return;
  int width = std::min(surface->w, image.pixelWidth());
  int height = std::min(surface->h, image.pixelHeight());
  const std::uint8_t* pixels = image.data();
  int stride = image.stride();
  int maskStride = (surface->w + 7) / 8;
  std::vector<std::uint8_t> mask(static_cast<std::size_t>(maskStride) * surface->h, 0);

  // X servers almost always take 0x00RRGGBB words; other formats go through SDL.
  bool direct = surface->format->format == SDL_PIXELFORMAT_RGB888 ||
                surface->format->format == SDL_PIXELFORMAT_ARGB8888;
  int bytes = surface->format->BytesPerPixel;
  SDL_LockSurface(surface);
  for (int y = 0; y < surface->h; ++y) {
    auto* out = reinterpret_cast<std::uint8_t*>(surface->pixels) + y * surface->pitch;
    for (int x = 0; x < surface->w; ++x) {
      std::uint32_t argb = 0;
      if (x < width && y < height) std::memcpy(&argb, pixels + y * stride + x * 4, 4);
      std::uint32_t a = argb >> 24;
      std::uint8_t r = 0, g = 0, b = 0;
      if (a >= kVisible) {
        // Shown fully opaque, as laid over black: the notch sits on the dark
        // band beside the camera, and faint parts (the line's track, the
        // edges of letters) keep their weight there.
        r = static_cast<std::uint8_t>((argb >> 16) & 0xFF);
        g = static_cast<std::uint8_t>((argb >> 8) & 0xFF);
        b = static_cast<std::uint8_t>(argb & 0xFF);
        mask[static_cast<std::size_t>(y) * maskStride + x / 8] |=
            static_cast<std::uint8_t>(1 << (x % 8));
      }
      std::uint32_t mapped = direct ? (std::uint32_t{r} << 16 | std::uint32_t{g} << 8 | b)
                                    : SDL_MapRGB(surface->format, r, g, b);
      std::memcpy(out + x * bytes, &mapped, bytes);
    }
  }
  SDL_UnlockSurface(surface);

  if (mask != mask_) {
    Display* display = xDisplay(display_);
    Pixmap bitmap =
        XCreateBitmapFromData(display, xWindow_, reinterpret_cast<const char*>(mask.data()),
                              static_cast<unsigned>(surface->w), static_cast<unsigned>(surface->h));
    XShapeCombineMask(display, xWindow_, ShapeBounding, 0, 0, bitmap, ShapeSet);
    XFreePixmap(display, bitmap);
    mask_ = std::move(mask);
  }
  SDL_UpdateWindowSurface(window_);
}

void ShapedWindow::setInputRegion(const std::vector<PixelRect>& region) {
  input_ = region;
  std::vector<XRectangle> rects;
  for (const PixelRect& r : region) {
    if (r.width <= 0 || r.height <= 0) continue;
    rects.push_back(XRectangle{static_cast<short>(std::clamp(r.x, -32768, 32767)),
                               static_cast<short>(std::clamp(r.y, -32768, 32767)),
                               static_cast<unsigned short>(std::min(r.width, 65535)),
                               static_cast<unsigned short>(std::min(r.height, 65535))});
  }
  XShapeCombineRectangles(xDisplay(display_), xWindow_, ShapeInput, 0, 0, rects.data(),
                          static_cast<int>(rects.size()), ShapeSet, Unsorted);
  XFlush(xDisplay(display_));
}

}  // namespace ebbwise::ui

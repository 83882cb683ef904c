#include "ui/panel_window.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ui/image_canvas.h"
#include "ui/panel_view.h"
#include "ui/panel_wording.h"

namespace ebbwise::ui {

namespace {

constexpr double kBackground = 0.11;  // the dark panel's own grey
constexpr int kScreenMargin = 60;     // pixels kept free above and below

}  // namespace

std::unique_ptr<PanelWindow> PanelWindow::open(SdlSession& session, const FontLibrary& fonts,
                                               Callbacks callbacks, std::string& error) {
  std::unique_ptr<PanelWindow> w(new PanelWindow(session, fonts, std::move(callbacks)));
  w->window_ = SDL_CreateWindow("Ebbwise", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                static_cast<int>(PanelView::width), 400, SDL_WINDOW_HIDDEN);
  if (!w->window_) {
    error = std::string("Can't make the panel's window: ") + SDL_GetError();
    return nullptr;
  }
  PanelWindow* self = w.get();
  session.listen(w->id(), [self](const SDL_Event& e) { self->handle(e); });
  return w;
}

PanelWindow::PanelWindow(SdlSession& session, const FontLibrary& fonts, Callbacks callbacks)
    : session_(session), fonts_(fonts), callbacks_(std::move(callbacks)) {}

PanelWindow::~PanelWindow() {
  if (!window_) return;
  session_.forget(id());
  SDL_DestroyWindow(window_);
}

std::uint32_t PanelWindow::id() const {
  return SDL_GetWindowID(window_);
}

void PanelWindow::setInput(std::shared_ptr<const PanelInput> input, const PanelUiState& ui) {
  input_ = std::move(input);
  std::optional<Point> pointer = ui_.pointer;  // the window's own
  ui_ = ui;
  ui_.pointer = pointer;
  // The window stands where the menu-bar item would be: its title shows what
  // the item would.
  std::string title = PanelWording::windowTitle(input_->menuBarText);
  if (title != title_) {
    title_ = std::move(title);
    SDL_SetWindowTitle(window_, title_.c_str());
  }
  draw();
}

void PanelWindow::draw() {
  if (!input_) return;
  ImageCanvas measuring(1, 1, 1, fonts_);
  double height = PanelView::layout(measuring.canvas(), *input_, ui_).height;
  // A panel taller than the screen is cut at the bottom rather than pushed off it.
  int maxHeight = std::max(session_.screenHeight() - 2 * kScreenMargin, 200);
  int pixelHeight = std::min(static_cast<int>(std::ceil(height)), maxHeight);
  int pixelWidth = static_cast<int>(PanelView::width);
  int w = 0, h = 0;
  SDL_GetWindowSize(window_, &w, &h);
  if (w != pixelWidth || h != pixelHeight) {
    SDL_SetWindowSize(window_, pixelWidth, pixelHeight);
    // A panel that grew keeps its bottom on the screen.
    int x = 0, y = 0;
    SDL_GetWindowPosition(window_, &x, &y);
    if (shown_ && y + pixelHeight > session_.screenHeight()) {
      SDL_SetWindowPosition(window_, x, std::max(session_.screenHeight() - pixelHeight, 0));
    }
  }
  if (!shown_) {
    // Placed once, in the middle at its first real size; after that it stays
    // where the user (or the window manager) put it.
    SDL_SetWindowPosition(window_, std::max((session_.screenWidth() - pixelWidth) / 2, 0),
                          std::max((session_.screenHeight() - pixelHeight) / 2, 0));
    SDL_ShowWindow(window_);
    shown_ = true;
  }

  ImageCanvas image(pixelWidth, pixelHeight, 1, fonts_, Color::gray(kBackground));
  layout_ = PanelView::draw(image.canvas(), *input_, ui_);

  SDL_Surface* surface = SDL_GetWindowSurface(window_);
  if (!surface) return;
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
      const_cast<std::uint8_t*>(image.data()), image.pixelWidth(), image.pixelHeight(), 32,
      image.stride(), SDL_PIXELFORMAT_ARGB8888);
  if (!source) return;
  SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
  SDL_BlitSurface(source, nullptr, surface, nullptr);
  SDL_FreeSurface(source);
  SDL_UpdateWindowSurface(window_);
}

void PanelWindow::handle(const SDL_Event& event) {
  switch (event.type) {
    case SDL_MOUSEBUTTONUP:
      if (event.button.button != SDL_BUTTON_LEFT) break;
      if (const PanelHotspot* h = layout_.actionAt(
              Point{static_cast<double>(event.button.x), static_cast<double>(event.button.y)})) {
        PanelHotspot hit = *h;  // the callback may redraw, which replaces the layout
        if (callbacks_.clicked) callbacks_.clicked(hit);
      }
      break;
    case SDL_MOUSEMOTION: {
      // Redrawn only when the pointer comes onto or leaves a help text.
      Point p{static_cast<double>(event.motion.x), static_cast<double>(event.motion.y)};
      const PanelHotspot* before = ui_.pointer ? layout_.helpAt(*ui_.pointer) : nullptr;
      const PanelHotspot* now = layout_.helpAt(p);
      ui_.pointer = p;
      if (before != now) draw();
      break;
    }
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_LEAVE && ui_.pointer) {
        ui_.pointer.reset();
        draw();
      } else if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
        if (callbacks_.closed) callbacks_.closed();
      } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
        draw();
      }
      break;
    default:
      break;
  }
}

}  // namespace ebbwise::ui

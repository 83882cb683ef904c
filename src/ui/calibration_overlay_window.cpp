#include "ui/calibration_overlay_window.h"

#include <SDL2/SDL.h>

#include <cmath>

#include "ui/image_canvas.h"

namespace ebbwise::ui {

std::unique_ptr<CalibrationOverlayWindow> CalibrationOverlayWindow::open(
    SdlSession& session, const FontLibrary& fonts, double scale,
    std::function<void()> stopRequested, std::string& error) {
  std::unique_ptr<CalibrationOverlayWindow> overlay(
      new CalibrationOverlayWindow(session, fonts, scale, std::move(stopRequested)));
  overlay->window_ = ShapedWindow::create({"Ebbwise calibration", {0, 0, 1, 1}, true}, error);
  if (!overlay->window_) return nullptr;
  CalibrationOverlayWindow* self = overlay.get();
  session.listen(overlay->window_->id(), [self](const SDL_Event& e) { self->handle(e); });
  return overlay;
}

CalibrationOverlayWindow::CalibrationOverlayWindow(SdlSession& session, const FontLibrary& fonts,
                                                   double scale,
                                                   std::function<void()> stopRequested)
    : session_(session),
      fonts_(fonts),
      scale_(std::isfinite(scale) && scale > 0 ? scale : 1),
      stopRequested_(std::move(stopRequested)) {}

CalibrationOverlayWindow::~CalibrationOverlayWindow() {
  if (window_) session_.forget(window_->id());
}

void CalibrationOverlayWindow::show(const CalibrationMessageInput& input) {
  input_ = input;
  draw();
}

void CalibrationOverlayWindow::close() {
  window_->hide();
  pressed_ = false;
}

void CalibrationOverlayWindow::draw() {
  ImageCanvas measuring(1, 1, 1, fonts_);
  layout_ = CalibrationMessage::layout(measuring.canvas(), input_);
  int width = static_cast<int>(std::ceil(layout_.size.width * scale_));
  int height = static_cast<int>(std::ceil(layout_.size.height * scale_));
  window_->setFrame(PixelRect{(session_.screenWidth() - width) / 2,
                              (session_.screenHeight() - height) / 2, width, height});
  ImageCanvas image(width, height, scale_, fonts_);
  CalibrationMessage::draw(image.canvas(), input_, pressed_);
  window_->show();
  window_->present(image);
  window_->setInputRegion({PixelRect{0, 0, width, height}});
}

void CalibrationOverlayWindow::handle(const SDL_Event& event) {
  if (!window_->isShown()) return;
  auto onStop = [&](int x, int y) {
    return layout_.stopButton.contains(Point{x / scale_, y / scale_});
  };
  switch (event.type) {
    case SDL_KEYDOWN:
      if (event.key.keysym.sym == SDLK_ESCAPE && stopRequested_) stopRequested_();
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.button == SDL_BUTTON_LEFT && onStop(event.button.x, event.button.y)) {
        pressed_ = true;
        draw();
      }
      break;
    case SDL_MOUSEBUTTONUP:
      if (pressed_) {
        pressed_ = false;
        draw();
        if (onStop(event.button.x, event.button.y) && stopRequested_) stopRequested_();
      }
      break;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_EXPOSED) draw();
      break;
    default:
      break;
  }
}

}  // namespace ebbwise::ui

#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/calibration_message.h"
#include "ui/font_library.h"
#include "ui/sdl_session.h"
#include "ui/shaped_window.h"

namespace ebbwise::ui {

// The calibration message in a window in the middle of the X screen, above
// everything. It takes the keyboard while shown, so Esc reaches it; Esc and
// its Stop button ask the run to stop. Other keys do nothing.
class CalibrationOverlayWindow {
 public:
  // Nothing, and `error` says why, when the window can't be made.
  static std::unique_ptr<CalibrationOverlayWindow> open(SdlSession& session,
                                                        const FontLibrary& fonts, double scale,
                                                        std::function<void()> stopRequested,
                                                        std::string& error);
  ~CalibrationOverlayWindow();
  CalibrationOverlayWindow(const CalibrationOverlayWindow&) = delete;
  CalibrationOverlayWindow& operator=(const CalibrationOverlayWindow&) = delete;

  // Shows the message, or brings it up to date.
  void show(const CalibrationMessageInput& input);
  // Hides the window; a second call does nothing.
  void close();
  bool isShown() const { return window_->isShown(); }
  const ShapedWindow& window() const { return *window_; }
  // Where the message's parts are, in points from the window's top left.
  const CalibrationMessage::Layout& layout() const { return layout_; }

 private:
  CalibrationOverlayWindow(SdlSession& session, const FontLibrary& fonts, double scale,
                           std::function<void()> stopRequested);
  void draw();
  void handle(const SDL_Event& event);

  SdlSession& session_;
  const FontLibrary& fonts_;
  double scale_;
  std::function<void()> stopRequested_;
  std::unique_ptr<ShapedWindow> window_;
  CalibrationMessageInput input_;
  CalibrationMessage::Layout layout_;
  bool pressed_ = false;
};

}  // namespace ebbwise::ui

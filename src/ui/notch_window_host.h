#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sys/clock.h"
#include "sys/run_loop.h"
#include "ui/font_library.h"
#include "ui/notch_animator.h"
#include "ui/notch_controller.h"
#include "ui/notch_view.h"
#include "ui/screen_mapping.h"
#include "ui/sdl_session.h"
#include "ui/shaped_window.h"

namespace ebbwise::ui {

class ImageCanvas;

// The notch window on an X server: a shaped window over the notch that never
// takes the focus, the notch view drawn into it whenever something changed
// (and at a frame rate only while something moves), and the pointer fed to
// the notch controller.
class NotchWindowHost {
 public:
  struct Options {
    std::vector<ScreenDescription> screens;  // as the window system lists them
    FontFamilies fonts;
  };

  // Nothing, and `error` says why, when the window can't be made. Without a
  // notched screen the host exists but shows nothing until one appears.
  static std::unique_ptr<NotchWindowHost> open(sys::RunLoop& loop, SdlSession& session,
                                               const sys::Clock& clock, Options options,
                                               std::string& error);
  ~NotchWindowHost();
  NotchWindowHost(const NotchWindowHost&) = delete;
  NotchWindowHost& operator=(const NotchWindowHost&) = delete;

  // What the notch shows; redraws only when it differs.
  void setInput(const NotchViewInput& input);
  // The screens changed; false when no notched screen is left (the window
  // hides until one comes back).
  bool setScreens(std::vector<ScreenDescription> screens);
  // What the open panel holds, and the height its contents want.
  void setPanelContents(PanelContents contents);
  void setPanelContentHeight(double height);
  // A click in the open panel, in points from the panel's top left.
  void setPanelClick(std::function<void(Point)> clicked) { panelClick_ = std::move(clicked); }
  // Where the pointer rests in the open panel; nothing once it left.
  void setPanelHover(std::function<void(std::optional<Point>)> hovered) {
    panelHover_ = std::move(hovered);
  }
  // A menu of the panel is open: the panel stays open wherever the pointer goes.
  void setMenuOpen(bool open);
  // Opens the panel, and after a moment writes a picture of it to `path`
  // and its geometry to `path`.txt.
  void requestSnapshot(const std::string& path);

  const NotchController& controller() const { return *controller_; }
  const FontLibrary& fonts() const { return fonts_; }
  const ScreenMapping& mapping() const { return mapping_; }
  const ShapedWindow& window() const { return *window_; }
  bool hasNotch() const { return controller_->hasWindow(); }
  // Frames drawn so far (a window that rests draws none).
  std::uint64_t frames() const { return frames_; }

 private:
  NotchWindowHost(sys::RunLoop& loop, SdlSession& session, const sys::Clock& clock,
                  FontFamilies fonts);

  double now() const;
  void relayout();
  void scheduleRedraw();
  void redraw();
  void keepFrames(bool needed);
  void handle(const SDL_Event& event);
  void pointerAt(int px, int py);
  // A pixel of the window as a point of the panel's contents.
  Point panelPoint(int px, int py) const;
  PixelRect wantedFrame(const NotchMotion& motion) const;
  void writeSnapshot(const std::string& path, const std::string& description);

  sys::RunLoop& loop_;
  SdlSession& session_;
  const sys::Clock& clock_;
  FontLibrary fonts_;
  std::unique_ptr<ShapedWindow> window_;
  std::unique_ptr<NotchController> controller_;
  std::vector<ScreenDescription> screens_;
  ScreenMapping mapping_;
  NotchViewInput input_;
  NotchAnimator animator_;
  PanelContents panel_;
  std::function<void(Point)> panelClick_;
  std::function<void(std::optional<Point>)> panelHover_;
  std::unique_ptr<ImageCanvas> image_;  // the last frame's picture
  double imageScale_ = 0;
  bool redrawPending_ = false;
  std::optional<sys::TaskID> frameTimer_;
  std::uint64_t frames_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace ebbwise::ui

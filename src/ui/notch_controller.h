#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>

#include "display_rules/rect.h"
#include "sys/run_loop.h"
#include "ui/notch_state.h"

namespace ebbwise::ui {

// A screen as the window system describes it, in global coordinates (points,
// origin bottom left): its frame, the menu-bar areas left and right of the
// camera housing (absent on a screen without one) and its top safe-area
// inset.
struct ScreenDescription {
  Rect frame;
  std::optional<Rect> topLeftArea;
  std::optional<Rect> topRightArea;
  double safeAreaTop = 0;
};

// A position of the pointer in global screen coordinates (origin bottom left).
struct ScreenPoint {
  double x = 0;
  double y = 0;
};

// The logic of the notch window: finds the notch, says where the window goes,
// and opens the panel when the pointer rests on the notch and closes it once
// the pointer has left the panel, each after a short delay run on the main
// loop. Knows no window system: the window host feeds it pointer positions
// and redraws when told.
class NotchController {
 public:
  static constexpr double openDelay = 0.12;     // seconds on the notch before the panel opens
  static constexpr double closeDelay = 0.3;     // seconds away before it closes
  static constexpr double snapshotDelay = 1.5;  // seconds the panel settles before a snapshot
  static constexpr double openMargin = 12;      // slack around the open panel
  static constexpr double notchSlackX = 4;      // slack beside the closed notch
  static constexpr double notchSlackY = 6;      // and above and below it

  struct Callbacks {
    // The state changed (open, preparing, sizes): redraw.
    std::function<void()> changed;
    // Write a picture of the open panel to `path` and `description` to
    // `path` + ".txt".
    std::function<void(const std::string& path, const std::string& description)> snapshot;
  };

  NotchController(sys::RunLoop& loop, Callbacks callbacks);
  ~NotchController();
  NotchController(const NotchController&) = delete;
  NotchController& operator=(const NotchController&) = delete;

  // Takes the first screen with a camera housing and its notch. False, and
  // no window, when there is none; run again whenever the screens change.
  bool layout(std::span<const ScreenDescription> screens);

  // Every pointer move, anywhere on the screens.
  void mouseMoved(ScreenPoint p);
  // A menu of the panel is open: the panel stays open wherever the pointer is.
  void setMenuOpen(bool open);
  // Opens the panel, holds it open for `snapshotDelay` seconds with pointer
  // tracking paused, has it written out, then closes it. Ignored without a
  // path or a window.
  void debugSnapshot(const std::optional<std::string>& path);
  // The height the panel's contents want, as the view measured it.
  void setPanelContentHeight(double height);

  const NotchState& state() const { return state_; }
  bool hasWindow() const { return hasWindow_; }
  const Rect& notchRect() const { return notchRect_; }
  double screenTop() const { return screenTop_; }
  // The notch window in global coordinates: 560 points wide, centred on the
  // notch, as tall as the screen.
  const Rect& windowFrame() const { return windowFrame_; }
  // Where the pointer counts as on the display: the notch with a little slack
  // while closed, the open panel with its margin while open.
  Rect hoverRegion() const;
  // The text written beside a snapshot.
  std::string snapshotDescription() const;

 private:
  void schedule(bool open, double delay);
  void setOpen(bool open);
  void notify();

  sys::RunLoop& loop_;
  Callbacks callbacks_;
  NotchState state_;
  bool hasWindow_ = false;
  Rect notchRect_;
  double screenTop_ = 0;
  Rect windowFrame_;
  std::optional<sys::TaskID> pending_;
  std::optional<sys::TaskID> snapshotTask_;
  bool menuOpen_ = false;
  bool debugHold_ = false;
};

}  // namespace ebbwise::ui

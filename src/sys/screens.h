#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sys/observers.h"
#include "sys/value.h"

namespace ebbwise::sys {

// A rectangle in points as the window system gives screen geometry: global
// coordinates with the origin at the bottom left of the main screen, y
// growing upwards.
struct CGRect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  double maxX() const { return x + width; }
  double maxY() const { return y + height; }

  friend bool operator==(const CGRect&, const CGRect&) = default;
};

// NSScreen: one screen attached and on.
struct ScreenInfo {
  CGRect frame;
  CGRect visibleFrame;  // without the menu bar and the Dock
  // The menu-bar parts left and right of the camera housing; absent on a
  // screen without one.
  std::optional<CGRect> auxiliaryTopLeftArea;
  std::optional<CGRect> auxiliaryTopRightArea;
  double safeAreaTop = 0;  // safeAreaInsets.top: the housing's height, 0 without one
  double backingScaleFactor = 1;
  std::string localizedName;
  // deviceDescription: "NSScreenNumber" (the display's number), "NSDeviceSize"
  // ({"width", "height"}), "NSDeviceResolution" ({"width", "height"} in dpi).
  Value deviceDescription = Value::object();
};

// NSScreen.screens, the main screen (the one with the menu bar) first, and
// the application's screen-parameters notification
// (NSApplicationDidChangeScreenParametersNotification), delivered on the
// main run loop whenever a screen comes, goes or changes.
class Screens {
 public:
  virtual ~Screens() = default;

  virtual std::vector<ScreenInfo> screens() = 0;

  // Whether there is a window system to list screens at all; without one
  // nothing is ever shown fullscreen, so there is nothing to poll for.
  virtual bool isAvailable() { return true; }

  virtual ObserverID addParametersObserver(std::function<void()> handler) = 0;
  // Unknown ids are ignored.
  virtual void removeParametersObserver(ObserverID id) = 0;
};

// A system without screens.
class NoScreens final : public Screens {
 public:
  std::vector<ScreenInfo> screens() override { return {}; }
  bool isAvailable() override { return false; }
  ObserverID addParametersObserver(std::function<void()>) override { return ++last_; }
  void removeParametersObserver(ObserverID) override {}

  static NoScreens& instance() {
    static NoScreens none;
    return none;
  }

 private:
  ObserverID last_ = 0;
};

}  // namespace ebbwise::sys

#pragma once

#include <optional>
#include <vector>

#include "sys/displays.h"
#include "sys/processes.h"
#include "sys/screens.h"
#include "sys/window_server.h"
#include "sys/workspace.h"

namespace ebbwise {

// Whether the screen with the camera housing shows a fullscreen app: a
// fullscreen space on that display, or the frontmost app's windows covering
// it. Reads the screen list, the managed spaces and, when needed, one window
// list; anything unreadable counts as not fullscreen.
class FullscreenCheck {
 public:
  static constexpr const char* kFinderBundleID = "com.apple.finder";
  // The window list of on-screen windows without desktop elements.
  static constexpr std::uint32_t kWindowListOptions =
      sys::kCGWindowListOptionOnScreenOnly | sys::kCGWindowListExcludeDesktopElements;
  static constexpr double kTolerance = 2.0;  // points

  FullscreenCheck(sys::Screens& screens, sys::Displays& displays, sys::WindowServer& windowServer,
                  sys::Workspace& workspace, sys::Processes& processes);

  bool isFullscreen();
  // Whether the frontmost app (not this program, not the desktop) covers
  // `screen` with one of its windows.
  bool frontmostAppCovers(const sys::ScreenInfo& screen, const std::vector<sys::ScreenInfo>& all);

 private:
  sys::Screens& screens_;
  sys::Displays& displays_;
  sys::WindowServer& windowServer_;
  sys::Workspace& workspace_;
  sys::Processes& processes_;
};

}  // namespace ebbwise

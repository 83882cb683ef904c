#pragma once

#include <cstdint>
#include <optional>

#include "sys/value.h"

namespace ebbwise::sys {

using WindowID = std::uint32_t;
inline constexpr WindowID kCGNullWindowID = 0;

// CGWindowListOption bits.
inline constexpr std::uint32_t kCGWindowListOptionAll = 0;
inline constexpr std::uint32_t kCGWindowListOptionOnScreenOnly = 1u << 0;
inline constexpr std::uint32_t kCGWindowListOptionOnScreenAboveWindow = 1u << 1;
inline constexpr std::uint32_t kCGWindowListOptionOnScreenBelowWindow = 1u << 2;
inline constexpr std::uint32_t kCGWindowListOptionIncludingWindow = 1u << 3;
inline constexpr std::uint32_t kCGWindowListExcludeDesktopElements = 1u << 4;

// Keys of a window-information dictionary. "kCGWindowBounds" holds a
// dictionary with "X", "Y", "Width" and "Height" in points, in global
// coordinates with the origin at the top left of the main display and y
// growing downwards. "kCGWindowIsOnscreen" is present only for windows on
// screen; "kCGWindowName" only with screen-recording permission.
inline constexpr const char* kCGWindowNumber = "kCGWindowNumber";
inline constexpr const char* kCGWindowOwnerPID = "kCGWindowOwnerPID";
inline constexpr const char* kCGWindowOwnerName = "kCGWindowOwnerName";
inline constexpr const char* kCGWindowName = "kCGWindowName";
inline constexpr const char* kCGWindowLayer = "kCGWindowLayer";
inline constexpr const char* kCGWindowBounds = "kCGWindowBounds";
inline constexpr const char* kCGWindowAlpha = "kCGWindowAlpha";
inline constexpr const char* kCGWindowIsOnscreen = "kCGWindowIsOnscreen";
inline constexpr const char* kCGWindowSharingState = "kCGWindowSharingState";
inline constexpr const char* kCGWindowStoreType = "kCGWindowStoreType";
inline constexpr const char* kCGWindowMemoryUsage = "kCGWindowMemoryUsage";

// Keys of the managed display spaces: one dictionary per display (or one
// for all, "Display Identifier" "Main", when displays share their spaces),
// with its "Current Space" and its "Spaces"; a space's "type" is 0 for a
// desktop and 4 for a fullscreen application's space.
inline constexpr const char* kDisplayIdentifierKey = "Display Identifier";
inline constexpr const char* kCurrentSpaceKey = "Current Space";
inline constexpr const char* kSpacesKey = "Spaces";
inline constexpr int kSpaceTypeDesktop = 0;
inline constexpr int kSpaceTypeFullscreen = 4;

// The window server's lists, as dictionaries in its own shapes.
class WindowServer {
 public:
  virtual ~WindowServer() = default;

  // CGWindowListCopyWindowInfo(options, relativeToWindow): a list of window
  // dictionaries, front to back; nothing when the list is unavailable.
  virtual std::optional<Value> copyWindowInfo(std::uint32_t options, WindowID relativeToWindow) = 0;

  // CGSCopyManagedDisplaySpaces(CGSMainConnectionID()), a private call
  // looked up at run time: a list of dictionaries; nothing when unavailable.
  virtual std::optional<Value> copyManagedDisplaySpaces() = 0;
};

// A system without a window server.
class NoWindowServer final : public WindowServer {
 public:
  std::optional<Value> copyWindowInfo(std::uint32_t, WindowID) override { return std::nullopt; }
  std::optional<Value> copyManagedDisplaySpaces() override { return std::nullopt; }

  static NoWindowServer& instance() {
    static NoWindowServer none;
    return none;
  }
};

}  // namespace ebbwise::sys

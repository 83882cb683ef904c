#include "app/fullscreen_check.h"

#include <cmath>
#include <string>

#include "display_rules/fullscreen_style.h"
#include "display_rules/rect.h"

namespace ebbwise {

namespace {

std::optional<double> numberIn(const sys::Value& dictionary, const char* key) {
  if (!dictionary.is_object()) return std::nullopt;
  auto found = dictionary.find(key);
  if (found == dictionary.end() || !found->is_number()) return std::nullopt;
  const double value = found->get<double>();
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

// A display's space list entry that is showing a fullscreen app.
bool showsFullscreenSpace(const sys::Value& entry) {
  if (!entry.is_object()) return false;
  auto current = entry.find(sys::kCurrentSpaceKey);
  if (current == entry.end()) return false;
  return numberIn(*current, "type") == sys::kSpaceTypeFullscreen;
}

std::optional<Rect> boundsOf(const sys::Value& window) {
  auto bounds = window.find(sys::kCGWindowBounds);
  if (bounds == window.end()) return std::nullopt;
  auto x = numberIn(*bounds, "X"), y = numberIn(*bounds, "Y");
  auto width = numberIn(*bounds, "Width"), height = numberIn(*bounds, "Height");
  if (!x || !y || !width || !height) return std::nullopt;
  return Rect{*x, *y, *width, *height};
}

}  // namespace

FullscreenCheck::FullscreenCheck(sys::Screens& screens, sys::Displays& displays,
                                 sys::WindowServer& windowServer, sys::Workspace& workspace,
                                 sys::Processes& processes)
    : screens_(screens),
      displays_(displays),
      windowServer_(windowServer),
      workspace_(workspace),
      processes_(processes) {}

bool FullscreenCheck::isFullscreen() {
  const std::vector<sys::ScreenInfo> all = screens_.screens();
  const sys::ScreenInfo* notched = nullptr;
  for (const auto& screen : all) {
    if (screen.auxiliaryTopLeftArea) {
      notched = &screen;
      break;
    }
  }
  if (!notched) return false;
  const std::optional<double> number = numberIn(notched->deviceDescription, "NSScreenNumber");
  if (!number || *number < 0 || *number > 0xFFFFFFFF) return false;
  const std::optional<std::string> uuid =
      displays_.displayUUID(static_cast<sys::DisplayID>(*number));
  if (!uuid) return false;

  const std::optional<sys::Value> spaces = windowServer_.copyManagedDisplaySpaces();
  if (spaces && spaces->is_array()) {
    const sys::Value* picked = nullptr;
    for (const auto& entry : *spaces) {
      if (!entry.is_object()) continue;
      auto id = entry.find(sys::kDisplayIdentifierKey);
      if (id != entry.end() && id->is_string() && id->get<std::string>() == *uuid) {
        picked = &entry;
        break;
      }
    }
    // Displays that share their spaces are listed as one.
    if (!picked && spaces->size() == 1) picked = &(*spaces)[0];
    if (picked && showsFullscreenSpace(*picked)) return true;
  }
  return frontmostAppCovers(*notched, all);
}

bool FullscreenCheck::frontmostAppCovers(const sys::ScreenInfo& screen,
                                         const std::vector<sys::ScreenInfo>& all) {
  const std::optional<sys::RunningApplication> front = workspace_.frontmostApplication();
  if (!front || front->processIdentifier == processes_.ownPid()) return false;
  if (front->bundleIdentifier == kFinderBundleID) return false;  // the desktop
  const std::optional<sys::Value> windows =
      windowServer_.copyWindowInfo(kWindowListOptions, sys::kCGNullWindowID);
  if (!windows || !windows->is_array()) return false;

  std::vector<Rect> rects;
  for (const auto& window : *windows) {
    if (!window.is_object()) continue;
    if (numberIn(window, sys::kCGWindowOwnerPID) != front->processIdentifier) continue;
    auto alpha = window.find(sys::kCGWindowAlpha);
    if (alpha != window.end() && !(alpha->is_number() && alpha->get<double>() > 0)) continue;
    if (auto rect = boundsOf(window)) rects.push_back(*rect);
  }
  // The window list counts y downwards from the top of the first screen.
  const double firstHeight = all.empty() ? screen.frame.height : all.front().frame.height;
  const Rect flipped{screen.frame.x, firstHeight - screen.frame.maxY(), screen.frame.width,
                     screen.frame.height};
  return FullscreenWindow::covers(flipped, rects, kTolerance);
}

}  // namespace ebbwise

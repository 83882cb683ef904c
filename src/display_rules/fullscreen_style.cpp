#include "display_rules/fullscreen_style.h"

#include <algorithm>

#include "base/raw_value.h"

namespace ebbwise {

std::string_view rawValue(FullscreenStyle style) {
  switch (style) {
    case FullscreenStyle::dim:
      return "Dim";
    case FullscreenStyle::hide:
      return "Hide";
  }
  return "Dim";
}

std::optional<FullscreenStyle> fullscreenStyleFromRawValue(std::string_view raw) {
  return fromRawValue(allFullscreenStyles, raw);
}

double opacity(FullscreenStyle style) {
  return style == FullscreenStyle::hide ? 0.0 : 0.5;
}

namespace FullscreenWindow {

bool covers(const Rect& screen, std::span<const Rect> windows, double tolerance) {
  return std::ranges::any_of(windows, [&](const Rect& w) {
    return w.minX() <= screen.minX() + tolerance && w.minY() <= screen.minY() + tolerance &&
           w.maxX() >= screen.maxX() - tolerance && w.maxY() >= screen.maxY() - tolerance;
  });
}

}  // namespace FullscreenWindow

}  // namespace ebbwise

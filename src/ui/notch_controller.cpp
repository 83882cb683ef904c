#include "ui/notch_controller.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "display_rules/notch_geometry.h"
#include "ui/notch_metrics.h"

namespace ebbwise::ui {

namespace {

bool contains(const Rect& r, ScreenPoint p) {
  return p.x >= r.minX() && p.x <= r.maxX() && p.y >= r.minY() && p.y <= r.maxY();
}

Rect grown(const Rect& r, double dx, double dy) {
  return Rect{r.minX() - dx, r.minY() - dy, std::abs(r.width) + 2 * dx,
              std::abs(r.height) + 2 * dy};
}

std::string number(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", v);
  return buffer;
}

// The window system's usual text of a rectangle and a size. (Built by
// appending: GCC 12 warns falsely about "literal" + temporary string.)
std::string text(const Size& s) {
  std::string out = "{";
  out += number(s.width);
  out += ", ";
  out += number(s.height);
  out += "}";
  return out;
}

std::string text(const Rect& r) {
  std::string out = "{";
  out += text(Size{r.x, r.y});
  out += ", ";
  out += text(Size{r.width, r.height});
  out += "}";
  return out;
}

}  // namespace

NotchController::NotchController(sys::RunLoop& loop, Callbacks callbacks)
    : loop_(loop), callbacks_(std::move(callbacks)) {}

NotchController::~NotchController() {
  if (pending_) loop_.cancel(*pending_);
  if (snapshotTask_) loop_.cancel(*snapshotTask_);
}

bool NotchController::layout(std::span<const ScreenDescription> screens) {
  auto screen = std::find_if(screens.begin(), screens.end(),
                             [](const ScreenDescription& s) { return s.topLeftArea.has_value(); });
  std::optional<NotchGeometry> geometry;
  if (screen != screens.end()) {
    geometry = NotchGeometry::from(screen->frame, screen->topLeftArea, screen->topRightArea,
                                   screen->safeAreaTop);
  }
  if (!geometry) {
    if (hasWindow_) {
      hasWindow_ = false;
      notify();
    }
    return false;
  }
  const Rect& frame = screen->frame;
  notchRect_ = geometry->rect;
  screenTop_ = frame.maxY();
  state_.notchSize = Size{notchRect_.width, notchRect_.height};
  // A screen too short for any panel gets none rather than a negative one.
  state_.maxPanelHeight = std::max(std::abs(frame.height) - notchRect_.height - 24, 0.0);
  windowFrame_ = Rect{notchRect_.x + notchRect_.width / 2 - NotchMetrics::windowWidth / 2,
                      frame.maxY() - std::abs(frame.height), NotchMetrics::windowWidth,
                      std::abs(frame.height)};
  hasWindow_ = true;
  notify();
  return true;
}

Rect NotchController::hoverRegion() const {
  if (!state_.isOpen) return grown(notchRect_, notchSlackX, notchSlackY);
  Size size = state_.openContentSize();
  double midX = notchRect_.x + notchRect_.width / 2;
  Rect panel{midX - size.width / 2 - NotchMetrics::openFlare, screenTop_ - size.height,
             size.width + 2 * NotchMetrics::openFlare, size.height};
  return grown(panel, openMargin, openMargin);
}

void NotchController::mouseMoved(ScreenPoint p) {
  if (debugHold_ || !hasWindow_) return;
  bool inside = contains(hoverRegion(), p);
  if (state_.isOpen) {
    schedule(inside || menuOpen_, closeDelay);
    return;
  }
  if (inside != state_.isPreparing) {
    state_.isPreparing = inside;
    notify();
  }
  schedule(inside, openDelay);
}

void NotchController::setMenuOpen(bool open) {
  menuOpen_ = open;
}

void NotchController::schedule(bool open, double delay) {
  if (state_.isOpen == open) {
    // The pointer came back before the delay ran out: the change is off.
    if (pending_) loop_.cancel(*pending_);
    pending_.reset();
    return;
  }
  if (pending_) return;  // a change already waits; its delay is not restarted
  pending_ = loop_.scheduleAfter(delay, [this, open] {
    pending_.reset();
    setOpen(open);
  });
}

void NotchController::setOpen(bool open) {
  if (state_.isOpen == open) return;
  state_.isOpen = open;
  notify();
}

void NotchController::setPanelContentHeight(double height) {
  if (!std::isfinite(height) || height < 0 || height == state_.panelContentHeight) return;
  state_.panelContentHeight = height;
  notify();
}

void NotchController::debugSnapshot(const std::optional<std::string>& path) {
  if (!path || !hasWindow_ || debugHold_) return;
  debugHold_ = true;
  if (pending_) loop_.cancel(*pending_);
  pending_.reset();
  setOpen(true);
  snapshotTask_ = loop_.scheduleAfter(snapshotDelay, [this, target = *path] {
    snapshotTask_.reset();
    if (callbacks_.snapshot) callbacks_.snapshot(target, snapshotDescription());
    debugHold_ = false;
    setOpen(false);
  });
}

std::string NotchController::snapshotDescription() const {
  return "window " + text(windowFrame_) + " notch " + text(notchRect_) + " open " +
         (state_.isOpen ? "true" : "false") + " content " + text(state_.openContentSize());
}

void NotchController::notify() {
  if (callbacks_.changed) callbacks_.changed();
}

}  // namespace ebbwise::ui

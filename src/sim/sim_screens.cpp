#include "sim/sim_screens.h"

#include <tuple>

namespace ebbwise::sim {

namespace {

// Windows at these levels and below are the desktop's own.
constexpr std::int64_t kDesktopIconLevel = -2147483603;

auto layoutKey(const sys::ScreenInfo& s) {
  return std::tuple(s.deviceDescription.value("NSScreenNumber", 0), s.frame, s.visibleFrame,
                    s.auxiliaryTopLeftArea, s.auxiliaryTopRightArea, s.safeAreaTop);
}

bool sameLayout(const std::vector<sys::ScreenInfo>& a, const std::vector<sys::ScreenInfo>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (layoutKey(a[i]) != layoutKey(b[i])) return false;
  }
  return true;
}

}  // namespace

SimScreens::SimScreens(MachineModel& model, const SimDesktop& desktop, sys::Clock& clock)
    : model_(model),
      desktop_(desktop),
      watcher_(clock, model.startDate(), desktop.screenChangeTimes(), [this] { check(); }) {}

void SimScreens::bind(sys::RunLoop& loop) {
  last_ = current();
  watcher_.watch(loop);
}

std::vector<sys::ScreenInfo> SimScreens::current() {
  auto lock = model_.sync();
  std::vector<sys::ScreenInfo> out;
  for (SimScreen& s : desktop_.screens()) out.push_back(std::move(s.info));
  return out;
}

void SimScreens::check() {
  auto now = current();
  if (sameLayout(now, last_)) return;
  last_ = std::move(now);
  observers_.notify(0);
}

std::vector<sys::ScreenInfo> SimScreens::screens() {
  return current();
}

sys::ObserverID SimScreens::addParametersObserver(std::function<void()> handler) {
  return observers_.add(0, [h = std::move(handler)] { h(); });
}

void SimScreens::removeParametersObserver(sys::ObserverID id) {
  observers_.remove(id);
}

std::optional<sys::Value> SimWindowServer::copyWindowInfo(std::uint32_t options,
                                                          sys::WindowID relativeToWindow) {
  auto lock = model_.sync();
  const sys::Value& all = desktop_.windows();
  constexpr std::uint32_t kRelative = sys::kCGWindowListOptionOnScreenAboveWindow |
                                      sys::kCGWindowListOptionOnScreenBelowWindow |
                                      sys::kCGWindowListOptionIncludingWindow;
  std::size_t at = all.size();
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i][sys::kCGWindowNumber] == relativeToWindow) at = i;
  }
  if ((options & kRelative) && at == all.size()) return std::nullopt;  // no such window
  const bool above = options & sys::kCGWindowListOptionOnScreenAboveWindow;
  const bool below = options & sys::kCGWindowListOptionOnScreenBelowWindow;
  const bool including = options & sys::kCGWindowListOptionIncludingWindow;
  // Listing relative to a window lists only windows on screen.
  const bool onScreenOnly = (options & sys::kCGWindowListOptionOnScreenOnly) || above || below;
  sys::Value out = sys::Value::array();
  for (std::size_t i = 0; i < all.size(); ++i) {
    const sys::Value& w = all[i];
    if (options & kRelative) {
      const bool wanted = (above && i < at) || (below && i > at) || (including && i == at);
      if (!wanted) continue;
    }
    if (onScreenOnly && !w.contains(sys::kCGWindowIsOnscreen) && !(including && i == at)) continue;
    if ((options & sys::kCGWindowListExcludeDesktopElements) &&
        w[sys::kCGWindowLayer].get<std::int64_t>() <= kDesktopIconLevel) {
      continue;
    }
    out.push_back(w);
  }
  return out;
}

std::optional<sys::Value> SimWindowServer::copyManagedDisplaySpaces() {
  auto lock = model_.sync();
  return desktop_.managedDisplaySpaces();
}

}  // namespace ebbwise::sim

#include "sim/sim_workspace.h"

#include <algorithm>
#include <cctype>

#include "sim/app_icon_art.h"

namespace ebbwise::sim {

using sys::WorkspaceNotification;

SimWorkspace::SimWorkspace(MachineModel& model, const SimDesktop& desktop, SimEnvironment& files,
                           sys::Clock& clock)
    : model_(model),
      desktop_(desktop),
      files_(files),
      watcher_(clock, model.startDate(), desktop.appChangeTimes(), [this] { check(); }) {}

void SimWorkspace::bind(sys::RunLoop& loop) {
  loop_ = &loop;
  if (!last_) last_ = snapshot();
  watcher_.watch(loop);
}

SimWorkspace::Snapshot SimWorkspace::snapshot() {
  auto lock = model_.sync();
  return {desktop_.liveApps(), desktop_.frontmost(), desktop_.currentSpaces()};
}

void SimWorkspace::check() {
  Snapshot now = snapshot();
  if (!last_) {
    last_ = std::move(now);
    return;
  }
  const Snapshot before = std::exchange(*last_, now);
  auto app = [&](int a) {
    auto lock = model_.sync();
    return desktop_.running(a);
  };
  auto contains = [](const std::vector<int>& list, int a) {
    return std::find(list.begin(), list.end(), a) != list.end();
  };
  // Told in the order a Mac tells them: what quit, what started, what came
  // to the front, and the space the screens show.
  for (int a : before.live) {
    if (!contains(now.live, a)) {
      observers_.notify(WorkspaceNotification::didTerminateApplication,
                        {WorkspaceNotification::didTerminateApplication, app(a)});
    }
  }
  for (int a : now.live) {
    if (!contains(before.live, a)) {
      observers_.notify(WorkspaceNotification::didLaunchApplication,
                        {WorkspaceNotification::didLaunchApplication, app(a)});
    }
  }
  if (now.front != before.front && now.front >= 0) {
    observers_.notify(WorkspaceNotification::didActivateApplication,
                      {WorkspaceNotification::didActivateApplication, app(now.front)});
  }
  if (now.spaces != before.spaces) {
    observers_.notify(WorkspaceNotification::activeSpaceDidChange,
                      {WorkspaceNotification::activeSpaceDidChange, std::nullopt});
  }
}

void SimWorkspace::announceSleep() {
  observers_.notify(WorkspaceNotification::willSleep,
                    {WorkspaceNotification::willSleep, std::nullopt});
}

void SimWorkspace::announceWake() {
  observers_.notify(WorkspaceNotification::didWake, {WorkspaceNotification::didWake, std::nullopt});
  check();  // whatever changed while asleep is told after the wake
}

void SimWorkspace::processEnded() {
  if (!loop_) return;
  loop_->post([alive = lifeline_.token(), this] {
    if (alive.lock()) check();
  });
}

sys::ObserverID SimWorkspace::addObserver(WorkspaceNotification name,
                                          sys::WorkspaceHandler handler) {
  return observers_.add(name, std::move(handler));
}

void SimWorkspace::removeObserver(sys::ObserverID id) {
  observers_.remove(id);
}

std::optional<sys::RunningApplication> SimWorkspace::frontmostApplication() {
  auto lock = model_.sync();
  const int front = desktop_.frontmost();
  if (front < 0) return std::nullopt;
  return desktop_.running(front);
}

std::vector<sys::RunningApplication> SimWorkspace::runningApplications() {
  auto lock = model_.sync();
  std::vector<sys::RunningApplication> out;
  for (int a : desktop_.liveApps()) out.push_back(desktop_.running(a));
  return out;
}

void SimWorkspace::open(std::string url, std::function<void(bool)> completion) {
  // The schemes a Mac opens out of the box: web pages, files and the
  // settings' own addresses.
  std::string scheme = url.substr(0, url.find(':'));
  std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  const bool known = url.find(':') != std::string::npos &&
                     (scheme == "http" || scheme == "https" || scheme == "file" ||
                      scheme == "x-apple.systempreferences" || scheme == "mailto");
  if (known) opened_.push_back(url);
  if (!completion) return;
  if (!loop_) {
    completion(known);
    return;
  }
  loop_->post([alive = lifeline_.token(), c = std::move(completion), known] {
    if (alive.lock()) c(known);
  });
}

std::optional<sys::Image> SimWorkspace::iconForFile(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  if (!files_.fileExists(path)) return std::nullopt;
  {
    auto lock = model_.sync();
    for (const SimApp& app : desktop_.apps()) {
      if (app.bundlePath != path) continue;
      // An application keeps its icon whether it runs or not.
      const std::string identity = app.bundleId.value_or(app.name);
      return AppIconArt::appIcon(app.iconColor.value_or(AppIconArt::colorFor(identity)),
                                 AppIconArt::markFor(identity));
    }
  }
  if (path.ends_with(".app")) return AppIconArt::genericAppIcon();
  return AppIconArt::documentIcon();
}

}  // namespace ebbwise::sim

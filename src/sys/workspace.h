#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sys/deferred.h"
#include "sys/image.h"
#include "sys/observers.h"
#include "sys/processes.h"
#include "sys/run_loop.h"

namespace ebbwise::sys {

// NSRunningApplication: an application as the workspace describes it. The
// names are the application's own; any may be missing (an executable
// without a bundle has no identifier).
struct RunningApplication {
  Pid processIdentifier = -1;
  std::optional<std::string> bundleIdentifier;
  std::optional<std::string> localizedName;
  std::optional<std::string> bundlePath;  // bundleURL as a path
  std::optional<std::string> executablePath;

  friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

// The workspace notifications the system observes.
enum class WorkspaceNotification {
  didLaunchApplication,     // NSWorkspaceDidLaunchApplicationNotification
  didTerminateApplication,  // NSWorkspaceDidTerminateApplicationNotification
  didActivateApplication,   // NSWorkspaceDidActivateApplicationNotification
  activeSpaceDidChange,     // NSWorkspaceActiveSpaceDidChangeNotification
  willSleep,                // NSWorkspaceWillSleepNotification
  didWake,                  // NSWorkspaceDidWakeNotification
};

// One delivered workspace notification; the application (the
// NSWorkspaceApplicationKey of its user info) only for the three
// application notifications.
struct WorkspaceEvent {
  WorkspaceNotification name;
  std::optional<RunningApplication> application;
};

using WorkspaceHandler = std::function<void(const WorkspaceEvent&)>;

// NSWorkspace: running applications, the workspace's notification centre,
// opening addresses and the icons of files. Notifications arrive on the
// main run loop.
class Workspace {
 public:
  virtual ~Workspace() = default;

  virtual ObserverID addObserver(WorkspaceNotification name, WorkspaceHandler handler) = 0;
  // Unknown ids are ignored.
  virtual void removeObserver(ObserverID id) = 0;

  // frontmostApplication: the application that receives key events; nothing
  // when none does.
  virtual std::optional<RunningApplication> frontmostApplication() = 0;
  // runningApplications of this user's session.
  virtual std::vector<RunningApplication> runningApplications() = 0;

  // open(_:): hands `url` to the application that opens it (a settings
  // address opens the settings). The completion gets whether it was handed
  // over, later on the main run loop; the call itself never waits.
  virtual void open(std::string url, std::function<void(bool)> completion) = 0;

  // iconForFile(_:): the icon the desktop shows for the file at `path` (an
  // application's own icon for an application), as one bitmap; nothing when
  // no file is there or no icon can be read. Reads files, so it may take a
  // moment; it never waits on anything else.
  virtual std::optional<Image> iconForFile(std::string_view path) = 0;
};

// A workspace with no applications: nothing is ever posted, nothing opens,
// no file has an icon.
class NoWorkspace final : public Workspace {
 public:
  explicit NoWorkspace(RunLoop* loop = nullptr) : loop_(loop) {}

  ObserverID addObserver(WorkspaceNotification, WorkspaceHandler) override { return ++last_; }
  void removeObserver(ObserverID) override {}
  std::optional<RunningApplication> frontmostApplication() override { return std::nullopt; }
  std::vector<RunningApplication> runningApplications() override { return {}; }
  void open(std::string, std::function<void(bool)> completion) override {
    answerOn(loop_, [c = std::move(completion)] {
      if (c) c(false);
    });
  }
  std::optional<Image> iconForFile(std::string_view) override { return std::nullopt; }

  static NoWorkspace& instance() {
    static NoWorkspace none;
    return none;
  }

 private:
  RunLoop* loop_;
  ObserverID last_ = 0;
};

}  // namespace ebbwise::sys

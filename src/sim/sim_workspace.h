#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/machine_model.h"
#include "sim/sim_desktop.h"
#include "sim/sim_environment.h"
#include "sim/timeline_watcher.h"
#include "sys/observers.h"
#include "sys/run_loop.h"
#include "sys/workspace.h"

namespace ebbwise::sim {

// The workspace of the machine's desktop: its applications, the one in
// front, and the notifications a Mac posts as they launch, quit, come to the
// front and change spaces, and as the machine sleeps and wakes. Addresses it
// is asked to open are kept, and only the schemes a Mac has handlers for
// open. Every application bundle of the machine has its own icon (see
// `AppIconArt`), any other bundle a grey one, any other file a page.
class SimWorkspace final : public sys::Workspace {
 public:
  SimWorkspace(MachineModel& model, const SimDesktop& desktop, SimEnvironment& files,
               sys::Clock& clock);

  // Delivers notifications on `loop` from now on.
  void bind(sys::RunLoop& loop);
  // The machine is about to sleep, or has woken: tells the observers at
  // once (the caller runs on the loop).
  void announceSleep();
  void announceWake();
  // A process ended outside the timeline (it was signalled).
  void processEnded();
  // Every address opened so far, in order.
  std::vector<std::string> openedURLs() const { return opened_; }

  sys::ObserverID addObserver(sys::WorkspaceNotification name,
                              sys::WorkspaceHandler handler) override;
  void removeObserver(sys::ObserverID id) override;
  std::optional<sys::RunningApplication> frontmostApplication() override;
  std::vector<sys::RunningApplication> runningApplications() override;
  void open(std::string url, std::function<void(bool)> completion) override;
  std::optional<sys::Image> iconForFile(std::string_view path) override;

 private:
  struct Snapshot {
    std::vector<int> live;
    int front = -1;
    std::vector<int> spaces;
  };
  Snapshot snapshot();
  void check();

  MachineModel& model_;
  const SimDesktop& desktop_;
  SimEnvironment& files_;
  sys::RunLoop* loop_ = nullptr;
  sys::ObserverList<sys::WorkspaceNotification, const sys::WorkspaceEvent&> observers_;
  std::optional<Snapshot> last_;
  TimelineWatcher watcher_;
  std::vector<std::string> opened_;
  Lifeline lifeline_;
};

}  // namespace ebbwise::sim

#pragma once

#include "sim/machine_model.h"
#include "sim/sim_desktop.h"
#include "sim/timeline_watcher.h"
#include "sys/observers.h"
#include "sys/run_loop.h"
#include "sys/screens.h"
#include "sys/window_server.h"

namespace ebbwise::sim {

// The screens of the machine's desktop, telling the application when they
// change (the lid closing onto an external display, a display coming or
// going).
class SimScreens final : public sys::Screens {
 public:
  SimScreens(MachineModel& model, const SimDesktop& desktop, sys::Clock& clock);

  void bind(sys::RunLoop& loop);

  std::vector<sys::ScreenInfo> screens() override;
  sys::ObserverID addParametersObserver(std::function<void()> handler) override;
  void removeParametersObserver(sys::ObserverID id) override;

 private:
  std::vector<sys::ScreenInfo> current();
  void check();

  MachineModel& model_;
  const SimDesktop& desktop_;
  sys::ObserverList<int> observers_;
  std::vector<sys::ScreenInfo> last_;
  TimelineWatcher watcher_;
};

// The window server's lists of the machine's desktop.
class SimWindowServer final : public sys::WindowServer {
 public:
  SimWindowServer(MachineModel& model, const SimDesktop& desktop)
      : model_(model), desktop_(desktop) {}

  std::optional<sys::Value> copyWindowInfo(std::uint32_t options,
                                           sys::WindowID relativeToWindow) override;
  std::optional<sys::Value> copyManagedDisplaySpaces() override;

 private:
  MachineModel& model_;
  const SimDesktop& desktop_;
};

}  // namespace ebbwise::sim

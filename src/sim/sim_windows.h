#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "sim/machine_model.h"
#include "sys/windows.h"

namespace ebbwise::sim {

// The machine's windowing: one main screen (the built-in panel, or the
// external display in clamshell mode), panels that can be shown and ordered
// out, and local key monitors. What a user does (a key press, a click on a
// panel's Stop button) comes from the test driving the machine.
class SimWindows final : public sys::Windows {
 public:
  // The 14-inch panel's default resolution, in points.
  static constexpr sys::ScreenRect kBuiltInFrame{0, 0, 1512, 982};
  static constexpr sys::ScreenRect kExternalFrame{0, 0, 2560, 1440};

  explicit SimWindows(MachineModel& model) : model_(model) {}

  std::optional<sys::ScreenRect> mainScreenFrame() override;
  std::unique_ptr<sys::KeyPanel> showKeyPanel(const sys::KeyPanelOptions& options,
                                              const sys::CalibrationMessageContent& content,
                                              std::function<void()> stopClicked) override;
  sys::KeyMonitorID addLocalKeyDownMonitor(sys::KeyDownHandler handler) override;
  void removeMonitor(sys::KeyMonitorID id) override;

  // A panel as the window server holds it.
  struct Panel {
    sys::KeyPanelOptions options;
    sys::CalibrationMessageContent content;
    std::function<void()> stopClicked;
    bool onScreen = true;
    int contentUpdates = 0;
  };

  // The user presses a key: the monitors see it first, newest first; true
  // when none consumed it and it reached the key window.
  bool pressKey(std::uint16_t keyCode);
  // The user clicks the Stop button of the frontmost panel on screen; false
  // when there is none.
  bool clickStop();
  // The frontmost panel on screen, if any.
  const Panel* shownPanel() const;
  // Every panel shown so far, in order.
  const std::vector<std::shared_ptr<Panel>>& panels() const { return panels_; }
  std::size_t keyMonitors() const { return monitors_.size(); }
  // Key presses that reached a window.
  const std::vector<std::uint16_t>& deliveredKeys() const { return delivered_; }

 private:
  MachineModel& model_;
  std::vector<std::shared_ptr<Panel>> panels_;
  std::map<sys::KeyMonitorID, sys::KeyDownHandler> monitors_;
  sys::KeyMonitorID nextMonitor_ = 1;
  std::vector<std::uint16_t> delivered_;
};

}  // namespace ebbwise::sim

#pragma once

#include <optional>

#include "sim/machine_model.h"
#include "sim/timeline_watcher.h"
#include "sys/observers.h"
#include "sys/process_info.h"
#include "sys/run_loop.h"

namespace ebbwise::sim {

// Low Power Mode and the thermal state of the machine. Low Power Mode
// follows the user's setting and, for the settings bound to a power source,
// the charger; the thermal state follows the chip's temperature as the
// system judges it. Changes are announced on the loop: Low Power Mode as it
// switches (scenario events, plugging in or out, the setting being changed
// through `pmset`), the thermal state within `kThermalPollSeconds` of the
// system's judgement, as the system's own sensor poll does.
class SimProcessInfo final : public sys::ProcessInfo {
 public:
  SimProcessInfo(MachineModel& model, sys::Clock& clock);

  void bind(sys::RunLoop& loop);
  // The Low Power Mode setting was changed outside the timeline.
  void settingChanged();

  sys::ThermalState thermalState() override;
  bool isLowPowerModeEnabled() override;
  sys::ObserverID addObserver(sys::ProcessInfoNotification name,
                              std::function<void()> handler) override;
  void removeObserver(sys::ObserverID id) override;

  static constexpr double kThermalPollSeconds = 5;

 private:
  void check();
  void updatePoll();

  MachineModel& model_;
  sys::RunLoop* loop_ = nullptr;
  std::optional<sys::TaskID> poll_;
  sys::ObserverList<sys::ProcessInfoNotification> observers_;
  bool lowPower_ = false;
  int thermal_ = 0;
  TimelineWatcher watcher_;
  Lifeline lifeline_;
};

}  // namespace ebbwise::sim

#pragma once

#include "sim/machine_model.h"
#include "sys/process_info.h"

namespace ebbwise::sim {

// What the machine tells its processes: the thermal state, which follows the
// chip's temperature, and its change notification, checked every few
// seconds on the run loop.
class SimProcessInfo final : public sys::ProcessInfo {
 public:
  explicit SimProcessInfo(MachineModel& model) : model_(model) {}

  std::optional<int> thermalState() override;
  std::unique_ptr<sys::NotificationSource> observeThermalState(sys::RunLoop& mainLoop,
                                                               sys::Task callback) override;

  static constexpr double kCheckSeconds = 5;

 private:
  class Watch;
  MachineModel& model_;
};

}  // namespace ebbwise::sim

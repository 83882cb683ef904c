#pragma once

#include "sim/machine_model.h"
#include "sys/power_sources.h"

namespace ebbwise::sim {

// The machine's power-source service. Its snapshot lists, as a Mac's does,
// a source for each connected Bluetooth accessory that reports a battery and
// then the internal battery, each with its description dictionary: the shown
// charge, the power state, the time estimates and the optimised-charging
// flags. The change notification fires on the run loop when the charger
// comes or goes (just after the plug) and, checked each time the gauge
// reports, when the shown charge or the charging state moved on.
class SimPowerSources final : public sys::PowerSources {
 public:
  explicit SimPowerSources(MachineModel& model) : model_(model) {}

  std::optional<sys::PowerSourcesBlob> copyInfo() override;
  std::optional<std::vector<sys::PowerSourceRef>> copyList(
      const sys::PowerSourcesBlob& blob) override;
  std::optional<sys::Value> description(const sys::PowerSourcesBlob& blob,
                                        sys::PowerSourceRef source) override;
  std::unique_ptr<sys::NotificationSource> createRunLoopSource(sys::RunLoop& mainLoop,
                                                               sys::Task callback) override;

  // The internal battery's description now. The model must be synced.
  static sys::Value batteryDescription(const MachineModel& model);

 private:
  class Watch;
  MachineModel& model_;
};

}  // namespace ebbwise::sim

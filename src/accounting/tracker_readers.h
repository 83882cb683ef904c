#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>

#include "sensors/processes/app_identity.h"
#include "sensors/power/chip_energy.h"
#include "sensors/power/system_energy.h"

namespace ebbwise {

// The platform readings the tracker pulls on each tick. An empty function is
// a reader that answers nothing.
struct TrackerReaders {
  // The chip's energy since the previous call.
  std::function<std::optional<ChipEnergy>()> readChip;
  // Cumulative GPU time per process id, in any unit (only ratios are used).
  std::function<std::unordered_map<std::int32_t, std::uint64_t>()> readGPU;
  // Whole-system energy since the previous call.
  std::function<std::optional<SystemEnergy>()> readSystem;
  // Names a process; when empty a process is shown as "pid <n>".
  std::function<AppIdentity(std::int32_t)> identify;
};

}  // namespace ebbwise

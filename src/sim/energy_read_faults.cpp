#include "sim/energy_read_faults.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "sim/counter_random.h"

namespace ebbwise::sim {

namespace {

constexpr std::uint64_t kEnergyReadSalt = 0x72757361;  // a stream of its own

}  // namespace

bool energyReadFails(const MachineModel& model, int i) {
  const double share = model.scenario().machine.energyReadFailures;
  if (!(share > 0)) return false;
  const SimProcess& p = model.table().processes[static_cast<std::size_t>(i)];
  const auto second = static_cast<std::uint64_t>(std::floor(std::max(model.time(), 0.0)));
  const auto pid = static_cast<std::uint64_t>(static_cast<std::uint32_t>(p.pid));
  return CounterRandom::unit(model.scenario().machine.seed, kEnergyReadSalt, pid, second) < share;
}

}  // namespace ebbwise::sim

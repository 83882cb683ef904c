#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "core/process_key.h"

namespace ebbwise {

// Turns cumulative per-process energy counters into the joules each process
// used since the previous call.
class EnergyTracker {
 public:
  // Processes that started before `countFromZeroAfter` (monotonic ticks) count
  // only their growth from first sight; later ones count from their birth.
  explicit EnergyTracker(std::uint64_t countFromZeroAfter)
      : countFromZeroAfter_(countFromZeroAfter) {}

  // Joules per process since the previous call; processes that did not grow
  // are absent. Processes missing from `samples` are forgotten.
  std::unordered_map<ProcessKey, double> deltas(const std::vector<ProcessSample>& samples);

  const std::unordered_map<ProcessKey, std::uint64_t>& last() const { return last_; }

 private:
  std::unordered_map<ProcessKey, std::uint64_t> last_;
  std::uint64_t countFromZeroAfter_;
};

}  // namespace ebbwise

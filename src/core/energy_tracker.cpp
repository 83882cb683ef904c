#include "core/energy_tracker.h"

namespace ebbwise {

std::unordered_map<ProcessKey, double> EnergyTracker::deltas(
    const std::vector<ProcessSample>& samples) {
  std::unordered_map<ProcessKey, double> result;
  std::unordered_map<ProcessKey, std::uint64_t> next;
  next.reserve(samples.size());
  for (const auto& s : samples) {
    std::uint64_t baseline;
    if (auto it = last_.find(s.key); it != last_.end()) {
      baseline = it->second;
    } else {
      baseline = s.key.start < countFromZeroAfter_ ? s.energyNJ : 0;
    }
    next[s.key] = s.energyNJ;
    if (s.energyNJ > baseline) result[s.key] = static_cast<double>(s.energyNJ - baseline) / 1e9;
  }
  last_ = std::move(next);
  return result;
}

}  // namespace ebbwise

#include "accounting/energy_tracker.h"

namespace ebbwise {

std::unordered_map<ProcessKey, double> EnergyTracker::deltas(
    const std::vector<ProcessSample>& samples) {
  const std::size_t before = last_.size();
  const std::uint64_t call = ++calls_;
  std::size_t stayed = 0, listed = 0;
  bool repeated = false;
  std::unordered_map<ProcessKey, double> result;
  result.reserve(samples.size());
  for (const auto& s : samples) {
    auto [it, added] = last_.try_emplace(s.key);
    Counter& counter = it->second;
    if (counter.call != call) {
      // First listing in this call: the previous counter, or a baseline for a
      // process first seen now.
      if (!added) ++stayed;
      ++listed;
      counter.baseline =
          added ? (s.key.start < countFromZeroAfter_ ? s.energyNJ : 0) : counter.energyNJ;
      counter.call = call;
    } else {
      // Listed twice: measured from the same baseline, the later one counts.
      repeated = true;
    }
    counter.energyNJ = s.energyNJ;
    if (s.energyNJ > counter.baseline) {
      result[s.key] = static_cast<double>(s.energyNJ - counter.baseline) / 1e9;
    }
  }
  if (listed != last_.size()) {
    std::erase_if(last_, [call](const auto& entry) { return entry.second.call != call; });
  }
  lostOrRepeated_ = stayed != before || repeated;
  return result;
}

std::optional<std::uint64_t> EnergyTracker::lastEnergy(const ProcessKey& key) const {
  auto it = last_.find(key);
  if (it == last_.end()) return std::nullopt;
  return it->second.energyNJ;
}

}  // namespace ebbwise

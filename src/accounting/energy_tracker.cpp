#include "accounting/energy_tracker.h"

#include <algorithm>

namespace ebbwise {

std::unordered_map<ProcessKey, double> EnergyTracker::deltas(
    const std::vector<ProcessSample>& samples) {
  const std::uint64_t call = ++calls_;
  std::size_t stayed = 0, listed = 0;
  bool repeated = false;
  std::uint64_t newest = newestStart_;
  std::unordered_map<ProcessKey, double> result;
  result.reserve(samples.size());
  for (const auto& s : samples) {
    auto [it, added] = last_.try_emplace(s.key);
    Counter& counter = it->second;
    if (counter.call != call) {
      // First listing in this call: the counter it showed last, or a baseline
      // for a process first seen now.
      if (!added && counter.call + 1 == call) ++stayed;
      ++listed;
      if (added) {
        const bool bornSinceLastScan =
            s.key.start >= countFromZeroAfter_ && (!seenAny_ || s.key.start > newestStart_);
        counter.baseline = bornSinceLastScan ? 0 : s.energyNJ;
      } else {
        counter.baseline = counter.energyNJ;
      }
      counter.call = call;
      newest = std::max(newest, s.key.start);
    } else {
      // Listed twice: measured from the same baseline, the later one counts.
      repeated = true;
    }
    counter.energyNJ = s.energyNJ;
    if (s.energyNJ > counter.baseline) {
      result[s.key] = static_cast<double>(s.energyNJ - counter.baseline) / 1e9;
    }
  }
  // Forgetting runs now and then rather than on every call: it walks every
  // entry, and a few stale ones a little longer cost nothing.
  if (listed != last_.size() && call % kSweepEvery == 0) {
    std::erase_if(last_,
                  [call](const auto& entry) { return call - entry.second.call > kRememberCalls; });
  }
  lostOrRepeated_ = stayed != listed_ || repeated;
  listed_ = listed;
  newestStart_ = newest;
  seenAny_ = seenAny_ || listed > 0;
  return result;
}

std::optional<std::uint64_t> EnergyTracker::lastEnergy(const ProcessKey& key) const {
  auto it = last_.find(key);
  if (it == last_.end() || it->second.call != calls_) return std::nullopt;
  return it->second.energyNJ;
}

std::optional<ProcessKey> EnergyTracker::missing(std::int32_t pid) const {
  std::optional<ProcessKey> found;
  std::uint64_t call = 0;
  for (const auto& [key, counter] : last_) {
    if (key.pid != pid || counter.call == calls_) continue;
    if (!found || counter.call > call || (counter.call == call && key.start > found->start)) {
      found = key;
      call = counter.call;
    }
  }
  return found;
}

}  // namespace ebbwise

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "sensors/processes/process_key.h"

namespace ebbwise {

// Turns cumulative per-process energy counters into the joules each process
// used since the previous call.
class EnergyTracker {
 public:
  // A process missing from more than this many calls in a row is forgotten.
  static constexpr std::uint64_t kRememberCalls = 120;  // ten minutes of 5-second scans

  // Processes that started before `countFromZeroAfter` (monotonic ticks) count
  // only their growth from first sight; later ones count from their birth.
  explicit EnergyTracker(std::uint64_t countFromZeroAfter)
      : countFromZeroAfter_(countFromZeroAfter) {}

  // Joules per process since the previous call; processes that did not grow
  // are absent. A process missing from a call (its counter could not be read)
  // keeps its last counter for a while, so when it is listed again the energy
  // it used meanwhile is counted once, from there. A process is counted from
  // birth only when it was born after every process of the earlier calls,
  // that is between two scans: any other process first listed now was alive
  // and possibly counted before, so its past never counts a second time.
  std::unordered_map<ProcessKey, double> deltas(const std::vector<ProcessSample>& samples);

  // The counter a process showed in the last call; nothing for a process it
  // did not list.
  std::optional<std::uint64_t> lastEnergy(const ProcessKey& key) const;
  // The process with id `pid` that a recent call listed, when the last call
  // did not list it: the one listed last (the newest, should two share the
  // id). Nothing when none is remembered.
  std::optional<ProcessKey> missing(std::int32_t pid) const;
  // Processes listed in the last call.
  std::size_t size() const { return listed_; }
  // Whether the last call missed a process of the call before it, or listed
  // a process twice.
  bool lostOrRepeated() const { return lostOrRepeated_; }

 private:
  static constexpr std::uint64_t kSweepEvery = 12;

  struct Counter {
    std::uint64_t energyNJ = 0;
    std::uint64_t baseline = 0;  // what this call's delta was taken from
    std::uint64_t call = 0;      // the last call that listed the process
  };

  // Updated in place: from one scan to the next nearly every process stays,
  // so this spares rebuilding hundreds of entries on every tick.
  std::unordered_map<ProcessKey, Counter> last_;
  std::uint64_t countFromZeroAfter_;
  std::uint64_t newestStart_ = 0;  // the latest start of any process of the earlier calls
  bool seenAny_ = false;
  std::uint64_t calls_ = 0;
  std::size_t listed_ = 0;
  bool lostOrRepeated_ = false;
};

}  // namespace ebbwise

#include "linux/process_energy_ledger.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ebbwise::linux_host {

void ProcessEnergyLedger::beginInterval(std::optional<std::uint64_t> microjoules,
                                        std::uint64_t busyTicks, std::uint64_t uptime,
                                        std::span<const std::int32_t> livePids) {
  nanojoulesPerTick_ = 0;
  busyInInterval_ = 0;
  if (microjoules && lastMicrojoules_ && lastBusy_ && *microjoules >= *lastMicrojoules_ &&
      busyTicks > *lastBusy_) {
    busyInInterval_ = busyTicks - *lastBusy_;
    nanojoulesPerTick_ = static_cast<double>(*microjoules - *lastMicrojoules_) * 1000 /
                         static_cast<double>(busyInInterval_);
  }
  lastMicrojoules_ = microjoules;
  lastBusy_ = busyTicks;
  newSince_ = intervalStart_;
  intervalStart_ = uptime;

  ++interval_;
  for (const std::int32_t pid : livePids) {
    if (const auto it = entries_.find(pid); it != entries_.end()) it->second.listed = interval_;
  }
  std::erase_if(entries_, [&](const auto& e) { return e.second.listed != interval_; });
}

std::uint64_t ProcessEnergyLedger::account(std::int32_t pid, std::uint64_t start,
                                           std::uint64_t cpuTicks) {
  auto [it, added] = entries_.try_emplace(pid);
  Entry& e = it->second;
  std::uint64_t used = 0;
  if (added || e.start != start) {
    // First sight of this process (a reused pid is a new process).
    e = Entry{start, cpuTicks, 0, interval_};
    if (newSince_ && start >= *newSince_) used = cpuTicks;
  } else if (cpuTicks >= e.cpuTicks) {
    used = cpuTicks - e.cpuTicks;
  }
  e.cpuTicks = cpuTicks;  // a count that went back is a new base, not negative time
  e.listed = interval_;
  // No process can have used more CPU time than the whole machine did.
  used = std::min(used, busyInInterval_);
  const double billed = std::round(static_cast<double>(used) * nanojoulesPerTick_);
  const std::uint64_t room = std::numeric_limits<std::uint64_t>::max() - e.energyNJ;
  e.energyNJ += billed >= static_cast<double>(room) ? room : static_cast<std::uint64_t>(billed);
  return e.energyNJ;
}

}  // namespace ebbwise::linux_host

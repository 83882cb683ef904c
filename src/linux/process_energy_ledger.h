#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>

namespace ebbwise::linux_host {

// Per-process energy counters for a kernel that meters energy only for the
// processor as a whole. An estimate: the processor's energy over each
// interval is shared among processes by the CPU time each used in it
// (user + system time), against all the busy CPU time of the interval, so
// that time spent in interrupts and in processes that have since exited
// keeps its share and no process is billed for it. Energy drawn while the
// processor idles is nobody's. A process's counter never goes down.
class ProcessEnergyLedger {
 public:
  // Ends an interval and starts the next, given the processor's running
  // energy total (µJ; nothing when unknown), the machine's running busy CPU
  // time (clock ticks), the time since boot (in the units of process start
  // times) and the pids alive now; the counters of other pids are dropped.
  void beginInterval(std::optional<std::uint64_t> processorMicrojoules, std::uint64_t busyTicks,
                     std::uint64_t uptime, std::span<const std::int32_t> livePids);

  // The counter (nanojoules) of the process `pid` that started at `start`,
  // once it is billed for the CPU time it used since it was last seen. A
  // process met for the first time is billed for all its time when it
  // started during the interval, and for none of it otherwise, as nothing is
  // known of the rate before.
  std::uint64_t account(std::int32_t pid, std::uint64_t start, std::uint64_t cpuTicks);

 private:
  struct Entry {
    std::uint64_t start = 0;
    std::uint64_t cpuTicks = 0;
    std::uint64_t energyNJ = 0;
    std::uint64_t listed = 0;
  };

  std::unordered_map<std::int32_t, Entry> entries_;
  std::uint64_t interval_ = 0;
  std::optional<std::uint64_t> lastMicrojoules_;
  std::optional<std::uint64_t> lastBusy_;
  std::optional<std::uint64_t> intervalStart_;  // uptime when the current interval began
  std::optional<std::uint64_t> newSince_;       // processes started since then are new in it
  double nanojoulesPerTick_ = 0;
  std::uint64_t busyInInterval_ = 0;
};

}  // namespace ebbwise::linux_host

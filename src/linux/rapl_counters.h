#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "linux/credentials.h"
#include "linux/notice.h"

namespace ebbwise::linux_host {

// The processor's running-average power limit (RAPL) energy counters, from
// the powercap zones under `sysRoot`/class/powercap/intel-rapl:*, as running
// totals that never go back.
//
// Each zone's counter wraps at its "max_energy_range_uj"; a smaller reading
// that fits a wrap is counted as one, and any other step back (a reset, a
// garbled read) only moves the base, so a total never decreases and never
// jumps. Zones whose counter only root may read (the kernel's default since
// 2020) are left out, and the notice says once how to allow them.
// Safe to share between threads.
class RaplCounters {
 public:
  // Running totals in microjoules since the first reading, summed over the
  // processor packages; nothing for a domain the machine does not report.
  struct Totals {
    std::optional<std::uint64_t> package;  // the whole processor package
    std::optional<std::uint64_t> core;     // its cores
    std::optional<std::uint64_t> uncore;   // its graphics (on client chips)
    std::optional<std::uint64_t> dram;     // memory
    std::optional<std::uint64_t> psys;     // the whole platform, as the charger circuit sees it
  };

  explicit RaplCounters(std::string sysRoot, Credentials credentials = Credentials::own(),
                        Notice notice = standardErrorNotice());

  Totals read();

  // Whether any readable zone was found.
  bool available() const { return !zones_.empty(); }

 private:
  enum class Domain { package, core, uncore, dram, psys };
  struct Zone {
    Domain domain = Domain::package;
    std::string counterPath;
    std::uint64_t range = 0;  // the counter's wrap point, 0 when unknown
    std::optional<std::uint64_t> last;
    std::uint64_t total = 0;
  };

  void discover(const std::string& sysRoot, const Credentials& credentials, const Notice& notice);
  static void advance(Zone& zone, std::uint64_t raw);

  std::mutex mutex_;
  std::vector<Zone> zones_;
};

}  // namespace ebbwise::linux_host

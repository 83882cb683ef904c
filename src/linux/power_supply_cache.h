#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "linux/power_supply.h"
#include "sys/clock.h"

namespace ebbwise::linux_host {

// The machine's power supplies, read once and shared by every question asked
// within a moment of it: one tick of the monitor asks the battery's registry
// entry and the SMC's keys a dozen times over, and each full reading opens
// some fifty files (on many laptops each one a call into the firmware). A
// reading older than `kFreshSeconds` on the monotonic clock is read anew.
// Without a clock every call reads afresh. The attribute files are held open
// between readings (see OpenFiles). Safe from several threads.
class PowerSupplyCache {
 public:
  static constexpr double kFreshSeconds = 0.5;

  // `clock` (may be null) must outlive the cache.
  PowerSupplyCache(std::string sysRoot, const sys::Clock* clock)
      : sysRoot_(std::move(sysRoot)), clock_(clock) {}

  const std::string& sysRoot() const { return sysRoot_; }
  // Every device under the root's class/power_supply, in name order.
  std::vector<PowerSupply> readAll();

 private:
  std::string sysRoot_;
  const sys::Clock* clock_;
  std::mutex mutex_;
  OpenFiles open_;
  std::vector<PowerSupply> last_;
  std::optional<double> lastAt_;
};

}  // namespace ebbwise::linux_host

#include "linux/power_supply_cache.h"

namespace ebbwise::linux_host {

std::vector<PowerSupply> PowerSupplyCache::readAll() {
  if (!clock_) return PowerSupply::readAll(sysRoot_);
  const double now = clock_->timebase().ticksToSeconds(clock_->monotonicTicks());
  std::lock_guard hold(mutex_);
  // A clock that went back (another boot's ticks cannot be) also reads anew.
  if (!lastAt_ || now < *lastAt_ || now - *lastAt_ >= kFreshSeconds) {
    last_ = PowerSupply::readAll(sysRoot_, &open_);
    lastAt_ = now;
  }
  return last_;
}

}  // namespace ebbwise::linux_host

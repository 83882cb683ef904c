#include "sensors/power/live_charge.h"

#include <algorithm>
#include <cmath>

namespace ebbwise {

std::optional<double> LiveCharge::update(std::optional<std::int64_t> reportedMAh,
                                         std::optional<double> netWatts, double volts, double dt) {
  if (!reportedMAh) return std::nullopt;
  if (lastReported == reportedMAh && mAh) {
    if (netWatts && std::isfinite(*netWatts) && std::isfinite(volts) && volts > 0 && dt > 0 &&
        dt < kMaxGapSeconds) {
      // Watts × seconds / volts is coulombs; / 3.6 makes milliampere-hours.
      // A battery holds no less than nothing, however long a report is stuck.
      mAh = std::max(0.0, *mAh + *netWatts * dt / volts / 3.6);
    }
    return mAh;
  }
  lastReported = reportedMAh;
  mAh = static_cast<double>(*reportedMAh);
  return mAh;
}

}  // namespace ebbwise

#include "sensors/power/live_charge.h"

#include <algorithm>
#include <cmath>

namespace ebbwise {

std::optional<double> LiveCharge::update(std::optional<std::int64_t> reportedMAh,
                                         std::optional<double> netWatts, double volts, double dt) {
  if (!reportedMAh) return std::nullopt;
  if (lastReported == reportedMAh && mAh) {
    const double seconds = std::min(dt, kMaxIntegrationSeconds - integratedSeconds);
    if (netWatts && std::isfinite(*netWatts) && std::isfinite(volts) && volts > 0 && dt > 0 &&
        dt < kMaxGapSeconds && seconds > 0) {
      // Watts × seconds / volts is coulombs; / 3.6 makes milliampere-hours.
      mAh = std::max(0.0, *mAh + *netWatts * seconds / volts / 3.6);
      integratedSeconds += seconds;
    }
    return mAh;
  }
  lastReported = reportedMAh;
  mAh = static_cast<double>(*reportedMAh);
  integratedSeconds = 0;
  return mAh;
}

}  // namespace ebbwise

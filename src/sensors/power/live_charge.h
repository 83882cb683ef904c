#pragma once

#include <cstdint>
#include <optional>

namespace ebbwise {

// The battery's charge between its coarse reports: the battery's gauge
// publishes its charge in whole mAh only now and then, so between two
// reports the charge follows the measured net battery power, and every new
// report snaps it back.
struct LiveCharge {
  // A gap this long or longer (a sleep) is not integrated.
  static constexpr double kMaxGapSeconds = 30;
  // A gauge reports a moving charge well within this time, so a report that
  // stays the same for longer means the charge stands still (a full battery
  // on the charger): the estimate stops there instead of drifting with the
  // small errors of the measured power, however long the report stays.
  static constexpr double kMaxIntegrationSeconds = 90;

  std::optional<double> mAh;                 // the charge now
  std::optional<std::int64_t> lastReported;  // the battery's last report
  double integratedSeconds = 0;              // time followed since that report

  // `netWatts` is positive while the battery gains charge; `dt` is the time
  // since the previous update. Returns the charge now; nothing (and no
  // change) without a report.
  std::optional<double> update(std::optional<std::int64_t> reportedMAh,
                               std::optional<double> netWatts, double volts, double dt);
};

}  // namespace ebbwise

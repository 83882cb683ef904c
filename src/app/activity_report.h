#pragma once

#include <optional>
#include <string>
#include <vector>

#include "accounting/since_charge.h"
#include "app/day_log.h"
#include "app/monitor.h"
#include "sys/date.h"
#include "sys/value.h"

namespace ebbwise {

// The part of the report about what the monitor did on the user's behalf:
// the energy ledger since the last charge, the heavy-app alerts it raised
// and Low Power Mode with its switches.
//
// JSON form (each a key of the report):
//   "sinceCharge": null on the charger, else {"start", "savedAt" (null until
//     stored), "totalJoules", "rows": [{"name", "joules"}] highest first}
//   "alerts": [{"at", "app", "watts"}] oldest first
//   "lowPowerMode": {"on", "error" (null or the message shown),
//     "pending" (switches waiting for the password), "switches": [{"at", "on"}]}
struct ActivityReport {
  struct Alert {
    sys::Date at;
    std::string app;
    double watts = 0;
  };
  struct Switch {
    sys::Date at;
    bool on = false;
  };

  std::optional<SinceCharge> ledger;
  std::optional<sys::Date> ledgerSavedAt;
  std::vector<Alert> alerts;
  bool lowPowerOn = false;
  std::optional<std::string> lowPowerError;
  int lowPowerPending = 0;
  // Every switch the run saw (the monitor itself keeps only the last 15
  // minutes, for its chart).
  std::vector<Switch> switches;

  static ActivityReport from(const Monitor& monitor);
  // Takes the switches from the log of the whole run.
  void add(const DayLog& log);

  // "Since the last charge" rows, the alerts and Low Power Mode; `dated`
  // puts dates on the times of a run that crosses midnight.
  std::string text(bool dated) const;
  void addTo(sys::Value& report) const;
};

}  // namespace ebbwise

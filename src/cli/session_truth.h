#pragma once

#include <map>
#include <optional>
#include <string>

#include "app/monitor.h"
#include "app/session_report.h"
#include "sim/simulated_mac.h"
#include "sim/truth.h"

namespace ebbwise {

// What really happened on a simulated machine during the monitor's session,
// gathered tick by tick the way the tracker gathers its own figures: only
// the ticks it accounts on battery count, and a new session starts the sums
// afresh. Call `tick` after every monitor tick (its tick observer).
class SessionTruth {
 public:
  SessionTruth(sim::SimulatedMac& mac, const Monitor& monitor);

  void tick();

  double systemJoules() const { return systemJoules_; }
  // Per row name, as the identity rules name the machine's processes.
  const std::map<std::string, sim::RowTruth>& rows() const { return rows_; }

  // Puts the true figures beside the measured ones.
  void fill(SessionReport& report);

 private:
  sim::SimulatedMac& mac_;
  const Monitor& monitor_;
  sim::TruthSnapshot previous_;
  std::optional<sys::Date> lastTick_;
  std::optional<sys::Date> sessionStart_;
  double systemJoules_ = 0;
  std::map<std::string, sim::RowTruth> rows_;
};

}  // namespace ebbwise

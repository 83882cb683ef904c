#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

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
  // Per row name, as the identity rules name the machine's processes; rows
  // that used nothing during the session are left out.
  std::map<std::string, sim::RowTruth> rows() const;

  // Puts the true figures beside the measured ones.
  void fill(SessionReport& report);

 private:
  sim::SimulatedMac& mac_;
  const Monitor& monitor_;
  // Two snapshots taken in turn, so that a tick allocates nothing.
  sim::RowSnapshot previous_;
  sim::RowSnapshot current_;
  std::optional<sys::Date> lastTick_;
  std::optional<sys::Date> sessionStart_;
  double systemJoules_ = 0;
  std::vector<sim::RowTruth> rows_;  // by the machine's row index
};

}  // namespace ebbwise

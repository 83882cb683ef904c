#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "app/monitor.h"
#include "app/session_report.h"
#include "sim/simulated_mac.h"
#include "sim/truth.h"

namespace ebbwise {

// The true power of the parts that the hardware rows (screen, speakers,
// keyboard light, charging heat) stand for, beside the rows, tick by tick.
// The rows' energy is summed from the first tick after a calibration has
// given the screen a curve, and only over the ticks the tracker accounts
// (a gap such as a sleep is left out on both sides). Call `tick` after
// every monitor tick.
class HardwareTruth {
 public:
  struct Energy {
    double joules = 0;      // what the row showed, times the time it stood for
    double trueJoules = 0;  // what the part used meanwhile
  };

  HardwareTruth(sim::SimulatedMac& mac, const Monitor& monitor);

  void tick();

  // The part behind a hardware row; nothing for other rows.
  static std::optional<sim::Part> partOf(std::string_view row);

  // By row name, since the calibration.
  const std::map<std::string, Energy>& energy() const { return energy_; }
  // The part's average power over the last tick interval.
  std::optional<double> trueWatts(std::string_view row) const;

  // Puts the truth beside the report's hardware rows.
  void fill(SessionReport& report) const;

 private:
  sim::SimulatedMac& mac_;
  const Monitor& monitor_;
  sim::RowSnapshot previous_;
  sim::RowSnapshot current_;
  bool havePrevious_ = false;
  bool counting_ = false;
  std::optional<double> interval_;  // seconds of the last tick interval
  std::map<std::string, Energy> energy_;
};

}  // namespace ebbwise

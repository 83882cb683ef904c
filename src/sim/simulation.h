#pragma once

#include <memory>

#include "sim/scenario.h"
#include "sim/simulated_mac.h"
#include "sys/platform.h"
#include "sys/virtual_run_loop.h"

namespace ebbwise::sim {

// A simulated MacBook on its own virtual main loop: the loop starts at the
// scenario's start date and sleeps through the scenario's sleep spans, so
// whatever runs on the loop sees the machine the way a program on a real Mac
// would (timers stop while asleep, the first tick after waking comes late).
// When the battery runs empty the machine hibernates: nothing runs until a
// charger has brought it back to life, however many runs that takes.
class Simulation {
 public:
  explicit Simulation(Scenario scenario);
  Simulation(const Simulation&) = delete;
  Simulation& operator=(const Simulation&) = delete;

  sys::VirtualRunLoop& loop() { return loop_; }
  SimulatedMac& mac() { return *mac_; }
  sys::Platform platform() { return mac_->platform(loop_); }

  // Seconds of virtual time since the scenario started.
  double elapsed() const { return loop_.now() - start_; }

  // Lets `seconds` of virtual time pass, running everything due while the
  // machine is on.
  void runFor(double seconds);

 private:
  void runUntil(sys::Date end);

  sys::Date start_;
  sys::VirtualRunLoop loop_;
  std::unique_ptr<SimulatedMac> mac_;
  bool off_ = false;  // hibernating, its sleep told but not yet its wake
};

}  // namespace ebbwise::sim

#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/app_startup.h"
#include "cli/scratch_history.h"
#include "sim/simulation.h"
#include "sys/environment.h"

namespace ebbwise {

// The application launched on the simulated MacBook, with its history in a
// scratch folder of the run's own, for the face's jobs (the live display and
// the panel's picture).
class SimulatedApp {
 public:
  // Nothing, and `error` says why, when the scenario cannot be found or read.
  static std::unique_ptr<SimulatedApp> launch(const std::optional<std::string>& scenario,
                                              sys::Environment& host, std::string& error);
  SimulatedApp(const SimulatedApp&) = delete;
  SimulatedApp& operator=(const SimulatedApp&) = delete;

  sim::Simulation& simulation() { return simulation_; }
  AppStartup& startup() { return *startup_; }
  Monitor& monitor() { return startup_->monitor(); }
  // The line to print when this run keeps no history; empty when it does.
  const std::string& historyNotice() const { return historyNotice_; }

 private:
  SimulatedApp(sim::Scenario scenario, sys::Environment& host);

  // Outlives the monitor, which closes the history before its folder goes.
  ScratchHistory scratch_;
  sim::Simulation simulation_;
  std::unique_ptr<AppStartup> startup_;
  std::string historyNotice_;
};

}  // namespace ebbwise

#include "cli/report_command.h"

#include "app/monitor.h"
#include "app/session_report.h"
#include "cli/scratch_history.h"
#include "cli/session_truth.h"
#include "history/store.h"
#include "linux/system_clock.h"
#include "sim/simulation.h"
#include "sys/null_platform.h"
#include "sys/real_run_loop.h"

namespace ebbwise {

namespace {

CommandResult finish(const SessionReport& report, const ReportOptions& options) {
  CommandResult result;
  result.out = options.json ? report.json().dump(2) + "\n" : report.table();
  return result;
}

// A fresh history file in the run's own folder; nothing when the host has no
// folder to offer.
std::unique_ptr<Store> scratchStore(sim::SimulatedMac& mac, const ScratchHistory& scratch) {
  if (!scratch.folder()) return nullptr;
  mac.setVariable("EBBWISE_DATA_DIR", *scratch.folder());
  std::optional<std::string> path = Store::defaultURL(mac.environment());
  if (!path) return nullptr;
  // Started afresh every run: no need to wait for the disk at every minute.
  return std::make_unique<Store>(*path, Store::Durability::scratch);
}

CommandResult runSimulated(const ReportOptions& options, sys::Environment& host) {
  sim::Scenario::Parsed parsed = options.scenarioPath ? sim::Scenario::load(*options.scenarioPath)
                                                      : sim::Scenario::embedded("default");
  if (!parsed) return CommandResult{2, "", "ebbwise: " + parsed.error + "\n"};

  // Outlives the monitor, which closes the history before its folder goes.
  ScratchHistory scratch(host);
  sim::Simulation simulation(std::move(*parsed.scenario));
  std::unique_ptr<Store> store = scratchStore(simulation.mac(), scratch);
  Monitor monitor(simulation.platform(), std::move(store));
  SessionTruth truth(simulation.mac(), monitor);
  monitor.setTickObserver([&truth] { truth.tick(); });

  simulation.runFor(options.seconds);
  monitor.willTerminate();

  SessionReport report = SessionReport::from(
      monitor, "simulated MacBook \"" + simulation.mac().scenario().name + "\"", options.seconds);
  truth.fill(report);
  return finish(report, options);
}

// This machine's own sensors. Without a battery there is nothing to wait for.
CommandResult runOnHost(const ReportOptions& options, sys::Environment& host) {
  linux_host::SystemClock clock;
  sys::RealRunLoop loop;
  sys::NullPlatform provider(clock, loop, host);
  std::unique_ptr<Store> store;
  if (auto path = Store::defaultURL(host)) store = std::make_unique<Store>(*path);
  Monitor monitor(provider.platform(), std::move(store));
  CommandResult result;
  if (monitor.battery) {
    loop.runFor(options.seconds);
    monitor.willTerminate();
  } else {
    result.exitCode = 1;
  }
  SessionReport report = SessionReport::from(monitor, "this machine", options.seconds);
  CommandResult printed = finish(report, options);
  printed.exitCode = result.exitCode;
  if (!monitor.battery && !options.json) {
    printed.err = "ebbwise: this machine publishes no Mac battery; try --simulate\n";
  }
  return printed;
}

}  // namespace

CommandResult runReport(const ReportOptions& options, sys::Environment& host) {
  return options.simulate ? runSimulated(options, host) : runOnHost(options, host);
}

}  // namespace ebbwise

#include "cli/report_command.h"

#include <algorithm>

#include "app/calibration_outcome.h"
#include "app/monitor.h"
#include "app/session_report.h"
#include "base/utf8.h"
#include "cli/command_options.h"
#include "cli/hardware_truth.h"
#include "cli/history_notice.h"
#include "cli/run_progress.h"
#include "cli/scratch_history.h"
#include "cli/session_truth.h"
#include "history/store.h"
#include "linux/system_clock.h"
#include "sim/scenario_catalog.h"
#include "sim/simulation.h"
#include "sys/null_platform.h"
#include "sys/real_run_loop.h"

namespace ebbwise {

namespace {

CommandResult finish(const SessionReport& report, const ReportOptions& options) {
  CommandResult result;
  // Names come from other processes and files and may be any bytes; the
  // writer replaces what is not UTF-8 rather than fail the whole report.
  result.out = options.json
                   ? report.json().dump(2, ' ', false, sys::Value::error_handler_t::replace) + "\n"
                   : report.table();
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

CommandResult runSimulated(const ReportOptions& options, sys::Environment& host,
                           RunProgress* progress) {
  sim::Scenario::Parsed parsed = sim::ScenarioCatalog::find(options.scenario.value_or("default"));
  if (!parsed) return {CommandOptions::kUsageError, "", CommandOptions::usageError(parsed.error)};
  const double seconds = options.seconds.value_or(parsed.scenario->duration);

  // Outlives the monitor, which closes the history before its folder goes.
  ScratchHistory scratch(host);
  sim::Simulation simulation(std::move(*parsed.scenario));
  std::unique_ptr<Store> store = scratchStore(simulation.mac(), scratch);
  const std::string historyNotice =
      HistoryNotice::about(store.get(), ScratchHistory::simulatorFolder(host)).value_or("");
  Monitor monitor(simulation.platform(), std::move(store));
  // The report shows what the panel shows, so it keeps the panel's figures fresh.
  monitor.setPanelOpen(true);
  SessionTruth truth(simulation.mac(), monitor);
  HardwareTruth hardwareTruth(simulation.mac(), monitor);
  monitor.setTickObserver([&truth, &hardwareTruth] {
    truth.tick();
    hardwareTruth.tick();
  });
  if (options.calibrate) monitor.hardware().calibrateScreen();

  // A quarter of an hour of virtual time takes moments; the progress line is
  // redrawn far less often than that.
  runInSteps(seconds, 900, progress, [&](double until) {
    simulation.runFor(until - simulation.elapsed());
    return simulation.elapsed();
  });
  monitor.willTerminate();

  // A scenario without a name is named after its path, which may be any bytes.
  SessionReport report = SessionReport::from(
      monitor, "simulated MacBook \"" + Utf8::decode(simulation.mac().scenario().name) + "\"",
      seconds);
  truth.fill(report);
  hardwareTruth.fill(report);
  if (options.calibrate) report.calibration = CalibrationOutcome::of(monitor.hardware());
  CommandResult result = finish(report, options);
  result.err = historyNotice + result.err;
  return result;
}

// This machine's own sensors. Without a battery there is nothing to wait for.
CommandResult runOnHost(const ReportOptions& options, sys::Environment& host,
                        RunProgress* progress) {
  const double seconds = options.seconds.value_or(3600);
  linux_host::SystemClock clock;
  sys::RealRunLoop loop;
  sys::NullPlatform provider(clock, loop, host);
  std::unique_ptr<Store> store;
  if (auto path = Store::defaultURL(host)) store = std::make_unique<Store>(*path);
  const std::string historyNotice = HistoryNotice::about(store.get()).value_or("");
  Monitor monitor(provider.platform(), std::move(store));
  monitor.setPanelOpen(true);
  CommandResult result;
  if (options.calibrate) monitor.hardware().calibrateScreen();
  if (monitor.battery) {
    double ran = 0;
    runInSteps(seconds, 1, progress, [&](double until) {
      loop.runFor(until - ran);
      return ran = until;
    });
    monitor.willTerminate();
  } else {
    result.exitCode = 1;
  }
  SessionReport report = SessionReport::from(monitor, "this machine", seconds);
  if (options.calibrate) report.calibration = CalibrationOutcome::of(monitor.hardware());
  CommandResult printed = finish(report, options);
  printed.exitCode = result.exitCode;
  if (!monitor.battery && !options.json) {
    printed.err = "ebbwise: this machine publishes no Mac battery; try --simulate\n";
  }
  if (monitor.battery) printed.err = historyNotice + printed.err;
  return printed;
}

}  // namespace

CommandResult runReport(const ReportOptions& options, sys::Environment& host,
                        RunProgress* progress) {
  return options.simulate ? runSimulated(options, host, progress)
                          : runOnHost(options, host, progress);
}

}  // namespace ebbwise

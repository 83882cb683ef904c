#include "cli/report_command.h"

#include <algorithm>

#include "app/app_startup.h"
#include "app/calibration_outcome.h"
#include "app/day_log.h"
#include "app/monitor.h"
#include "app/session_report.h"
#include "base/terminal_text.h"
#include "base/utf8.h"
#include "cli/command_options.h"
#include "cli/hardware_truth.h"
#include "cli/history_notice.h"
#include "cli/history_report.h"
#include "cli/run_progress.h"
#include "cli/scratch_history.h"
#include "cli/session_truth.h"
#include "history/store.h"
#include "linux/linux_platform.h"
#include "linux/system_clock.h"
#include "sim/scenario_catalog.h"
#include "sim/simulation.h"
#include "sys/duration_text.h"
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
  if (!parsed) {
    return {CommandOptions::kUsageError, "",
            "ebbwise: " + TerminalText::printable(parsed.error) + "\n"};
  }
  const double seconds = options.seconds.value_or(parsed.scenario->duration);

  // Outlives the monitor, which closes the history before its folder goes.
  ScratchHistory scratch(host);
  sim::Simulation simulation(std::move(*parsed.scenario));
  std::unique_ptr<Store> store = scratchStore(simulation.mac(), scratch);
  const std::string historyNotice =
      HistoryNotice::about(store.get(), ScratchHistory::simulatorFolder(host)).value_or("");
  // The simulated Mac launches the application as a real one would, and one
  // that cannot show the notch display turns it away.
  AppStartup startup(simulation.platform(), std::move(store));
  if (auto refusal = startup.finishLaunching()) {
    return CommandResult{CommandOptions::kFailure, "", refusal->text()};
  }
  Monitor& monitor = startup.monitor();
  // The report shows what the panel shows, so it keeps the panel's figures fresh.
  monitor.setPanelOpen(true);
  SessionTruth truth(simulation.mac(), monitor);
  HardwareTruth hardwareTruth(simulation.mac(), monitor);
  DayLog log;
  monitor.setTickObserver([&truth, &hardwareTruth, &log, &monitor] {
    truth.tick();
    hardwareTruth.tick();
    log.observe(monitor);
  });
  // The first tick ran while the monitor was built, before anyone watched.
  log.observe(monitor);
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
  report.add(log);
  truth.fill(report);
  hardwareTruth.fill(report);
  if (options.calibrate) report.calibration = CalibrationOutcome::of(monitor.hardware());
  CommandResult result = finish(report, options);
  result.err = historyNotice + result.err;
  return result;
}

// The report of the last `seconds` from the kept history; nothing when the
// history holds no minute of them.
std::optional<CommandResult> reportFromHistory(const ReportOptions& options, Store& store,
                                               double now, double seconds) {
  const auto report = HistoryReport::from(store, now, seconds);
  if (!report) return std::nullopt;
  CommandResult result;
  result.out = options.json
                   ? report->json().dump(2, ' ', false, sys::Value::error_handler_t::replace) + "\n"
                   : report->table();
  return result;
}

// This machine's own sensors. What the history already holds is told at
// once; a calibration, or a time the history does not cover, is watched.
// Without a battery there is nothing to wait for.
CommandResult runOnHost(const ReportOptions& options, sys::Environment& host,
                        RunProgress* progress) {
  const double seconds = options.seconds.value_or(3600);
  linux_host::SystemClock clock;
  std::unique_ptr<Store> store;
  if (auto path = Store::defaultURL(host)) store = std::make_unique<Store>(*path);
  if (store && store->isOpen() && !options.calibrate) {
    if (auto told = reportFromHistory(options, *store, clock.now().secondsSince1970, seconds)) {
      return *told;
    }
  }
  const std::string historyNotice = HistoryNotice::about(store.get()).value_or("");
  sys::RealRunLoop loop;
  linux_host::LinuxPlatform provider(clock, loop, host);
  Monitor monitor(provider.platform(), std::move(store));
  monitor.setPanelOpen(true);
  DayLog log;
  log.observe(monitor);
  monitor.setTickObserver([&log, &monitor] { log.observe(monitor); });
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
  report.add(log);
  if (options.calibrate) report.calibration = CalibrationOutcome::of(monitor.hardware());
  CommandResult printed = finish(report, options);
  printed.exitCode = result.exitCode;
  if (!monitor.battery && !options.json) {
    printed.err =
        "ebbwise: this machine publishes no battery and its history holds nothing of "
        "the last " +
        sys::DurationText::format(seconds) + "; try --simulate\n";
  }
  if (monitor.battery) {
    printed.err = historyNotice + printed.err;
    if (!options.calibrate) {
      printed.err += "ebbwise: the history held nothing of the last " +
                     sys::DurationText::format(seconds) +
                     ", so this run watched the machine instead (ebbwise --monitor keeps the "
                     "history)\n";
    }
  }
  return printed;
}

}  // namespace

CommandResult runReport(const ReportOptions& options, sys::Environment& host,
                        RunProgress* progress) {
  return options.simulate ? runSimulated(options, host, progress)
                          : runOnHost(options, host, progress);
}

}  // namespace ebbwise

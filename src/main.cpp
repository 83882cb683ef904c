// The ebbwise command: picks the platform provider and runs what was asked.

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "app/duration.h"
#include "base/terminal_text.h"
#include "cli/report_command.h"
#include "cli/stream_writer.h"
#include "linux/host_environment.h"

int main(int argc, char** argv) {
  CLI::App app{
      "Ebbwise: where your MacBook's battery goes.\n"
      "Samples the battery, the system power, the chip's energy counters and every\n"
      "process every 5 seconds, and reports the energy per app since the charger was\n"
      "unplugged, the current drain and the time left."};
  app.set_help_flag("-h,--help", "Show this help and exit");

  std::optional<std::string> scenario;
  bool simulate = false;
  std::string duration;
  bool json = false;
  bool calibrate = false;

  auto* simulateOption =
      app.add_option("--simulate", scenario,
                     "Run on the simulated MacBook instead of this machine's sensors.\n"
                     "SCENARIO is a scenario file (JSON); without it the built-in default\n"
                     "machine runs (a working session on battery). Simulated time is virtual:\n"
                     "an hour passes in moments. The history goes to a scratch database of\n"
                     "the run's own under $EBBWISE_DATA_DIR/simulator (else your cache\n"
                     "folder), never your real one, and is removed when the run ends.")
          ->expected(0, 1)
          ->type_name("[SCENARIO]");
  app.add_option("--report", duration,
                 "Run the monitor for DURATION, then print the session's apps (energy and\n"
                 "share), the drain and the time left. DURATION is seconds, or a number with\n"
                 "s, m or h (90, 30s, 15m, 1.5h).")
      ->type_name("DURATION");
  app.add_flag("--json", json,
               "Print the report as one JSON object (in simulation it carries the true\n"
               "figures beside the measured ones: trueSystemJoules, trueMinutesLeft,\n"
               "minutesLeftError (how far the time left is off) and trueJoules for each\n"
               "app); charge, devices, usbDevices and mediaSites describe charging and\n"
               "what hangs off the Mac");

  app.add_flag("--calibrate", calibrate,
               "Measure the screen, keyboard light and speakers at the start of the run\n"
               "(about a minute: the brightness steps from dim to full and back), so that\n"
               "the report splits them out; the report says what was learned");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  simulate = simulateOption->count() > 0;

  if (duration.empty()) {
    std::cerr << "ebbwise: nothing to do yet: add --report DURATION (for example --report 1h)\n"
              << "Run with --help for more information.\n";
    return 2;
  }
  auto seconds = ebbwise::parseDuration(duration);
  if (!seconds) {
    std::cerr << "ebbwise: --report: \"" << ebbwise::TerminalText::printable(duration)
              << "\" is not a duration (use seconds, or a number with s, m or h, up to a year)\n";
    return 2;
  }

  ebbwise::ReportOptions options;
  options.simulate = simulate;
  if (scenario && !scenario->empty()) options.scenarioPath = *scenario;
  options.seconds = *seconds;
  options.json = json;
  options.calibrate = calibrate;

  ebbwise::linux_host::HostEnvironment host;
  ebbwise::CommandResult result = ebbwise::runReport(options, host);
  // The report goes out unbuffered so that a full disk or a reader that went
  // away is seen here and fails the command instead of passing for success.
  std::optional<std::string> failed = ebbwise::StreamWriter::writeAll(STDOUT_FILENO, result.out);
  if (failed) result.err += "ebbwise: cannot write the report (" + *failed + ")\n";
  ebbwise::StreamWriter::writeAll(STDERR_FILENO, result.err);
  if (failed && result.exitCode == 0) return 1;
  return result.exitCode;
}

// The ebbwise command: reads the command line, picks the platform provider
// and runs what was asked.

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "cli/command_options.h"
#include "cli/live_command.h"
#include "cli/monitor_command.h"
#include "cli/render_command.h"
#include "cli/report_command.h"
#include "cli/run_progress.h"
#include "cli/service_command.h"
#include "cli/stream_writer.h"
#include "linux/host_environment.h"
#include "linux/system_clock.h"

int main(int argc, char** argv) {
  using ebbwise::CommandOptions;
  namespace StreamWriter = ebbwise::StreamWriter;

  const std::vector<std::string_view> arguments(argv + std::min(argc, 1), argv + argc);
  CommandOptions::Parsed parsed = CommandOptions::parse(arguments);
  if (!parsed) {
    StreamWriter::writeAll(STDERR_FILENO, CommandOptions::usageError(parsed.problem));
    return CommandOptions::kUsageError;
  }
  if (parsed.line->help) {
    return StreamWriter::writeAll(STDOUT_FILENO, CommandOptions::helpText())
               ? CommandOptions::kFailure
               : 0;
  }

  ebbwise::linux_host::HostEnvironment host;
  if (parsed.line->monitor || parsed.line->installService) {
    ebbwise::CommandResult result =
        parsed.line->monitor ? ebbwise::runMonitor(host, {},
                                                   [](const std::string& line) {
                                                     StreamWriter::writeAll(STDERR_FILENO, line);
                                                   })
                             : ebbwise::installService(host);
    StreamWriter::writeAll(STDOUT_FILENO, result.out);
    StreamWriter::writeAll(STDERR_FILENO, result.err);
    return result.exitCode;
  }
  if (parsed.line->face.renderPanel || parsed.line->live) {
    ebbwise::CommandResult result = parsed.line->live ? ebbwise::runLive(*parsed.line, host)
                                                      : ebbwise::runRenderPanel(*parsed.line, host);
    StreamWriter::writeAll(STDERR_FILENO, result.err);
    return result.exitCode;
  }

  const ebbwise::ReportOptions& options = parsed.line->report;
  ebbwise::linux_host::SystemClock clock;
  // Only a person at a terminal wants to watch the run go by; a file or a
  // pipe gets the report alone.
  std::unique_ptr<ebbwise::RunProgress> progress;
  if (::isatty(STDERR_FILENO)) {
    progress = std::make_unique<ebbwise::RunProgress>(STDERR_FILENO, clock,
                                                      options.simulate ? "simulated" : "watched");
  }
  ebbwise::CommandResult result = ebbwise::runReport(options, host, progress.get());
  progress.reset();

  // The report goes out unbuffered so that a full disk or a reader that went
  // away is seen here and fails the command instead of passing for success.
  std::optional<std::string> failed = StreamWriter::writeAll(STDOUT_FILENO, result.out);
  if (failed) result.err += "ebbwise: cannot write the report (" + *failed + ")\n";
  StreamWriter::writeAll(STDERR_FILENO, result.err);
  if (failed && result.exitCode == 0) return CommandOptions::kFailure;
  return result.exitCode;
}

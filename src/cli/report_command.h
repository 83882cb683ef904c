#pragma once

#include <optional>
#include <string>

#include "sys/environment.h"

namespace ebbwise {

class RunProgress;

struct ReportOptions {
  bool simulate = false;
  // A built-in scenario's name or a scenario file; absent: the built-in
  // "default".
  std::optional<std::string> scenario;
  std::optional<double> seconds;  // absent: the scenario's own duration
  bool json = false;
  bool calibrate = false;  // start a calibration run at the start
};

struct CommandResult {
  int exitCode = 0;
  std::string out;
  std::string err;
};

// Runs the monitor for `options.seconds` and reports the session, telling
// `progress` (when there is one) how far the run has come. On the
// simulated MacBook the time is virtual (an hour passes in moments), the
// history goes to a scratch database of the run's own, never the real
// history (see ScratchHistory), removed when the run ends, and every figure
// comes with what really happened beside it.
// `host` is the real machine's surroundings. A scenario that cannot be found
// or read is refused with exit code 2, like any other command line that
// cannot be followed.
CommandResult runReport(const ReportOptions& options, sys::Environment& host,
                        RunProgress* progress = nullptr);

}  // namespace ebbwise

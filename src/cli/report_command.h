#pragma once

#include <optional>
#include <string>

#include "sys/environment.h"

namespace ebbwise {

struct ReportOptions {
  bool simulate = false;
  std::optional<std::string> scenarioPath;  // absent: the built-in default machine
  double seconds = 3600;
  bool json = false;
  bool calibrate = false;  // start a calibration run at the start
};

struct CommandResult {
  int exitCode = 0;
  std::string out;
  std::string err;
};

// Runs the monitor for `options.seconds` and reports the session. On the
// simulated MacBook the time is virtual (an hour passes in moments), the
// history goes to a scratch database of the run's own, never the real
// history (see ScratchHistory), removed when the run ends, and every figure
// comes with what really happened beside it.
// `host` is the real machine's surroundings.
CommandResult runReport(const ReportOptions& options, sys::Environment& host);

}  // namespace ebbwise

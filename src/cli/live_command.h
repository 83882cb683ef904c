#pragma once

#include "cli/command_options.h"
#include "cli/report_command.h"
#include "sys/environment.h"

namespace ebbwise {

// `--simulate` without `--report`: the application runs on the simulated
// MacBook in real time (`face.speed` times faster) with the notch window on
// this X display, its panel opening on hover, the calibration message during
// a run and, with `face.panel`, the larger panel in a window of its own. Ends
// on Ctrl+C, on "Quit" in a panel or when the panel's window is closed.
// Without an X display it says so and fails.
CommandResult runLive(const CommandOptions& options, sys::Environment& host);

}  // namespace ebbwise

#pragma once

#include "cli/command_options.h"
#include "cli/report_command.h"
#include "sys/environment.h"

namespace ebbwise {

// `--render-panel PATH`: launches the application on the simulated MacBook,
// lets `face.at` seconds of simulated time pass (12 by default) and writes a
// picture of the open notch panel to PATH; the notch window is never shown.
// A picture that cannot be written fails the command and says why.
CommandResult runRenderPanel(const CommandOptions& options, sys::Environment& host);

}  // namespace ebbwise

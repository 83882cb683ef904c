#pragma once

#include <optional>
#include <string>

#include "cli/report_command.h"
#include "sys/environment.h"
#include "sys/tool_runner.h"

namespace ebbwise {

// Installs the background monitor as a user service (see SystemdUserUnit)
// that starts `executable` with --monitor. Where the service manager's tool
// is (`systemctl`, an absolute path), it is asked to load the unit and to
// enable and start it; otherwise the output says how. Running it again
// changes nothing but what has to change. A unit that cannot be written, or
// a service manager that refuses, fails the command (exit code 1) and says
// what to do.
CommandResult installService(sys::Environment& host, const std::optional<std::string>& executable,
                             sys::ToolRunner& tools, const std::optional<std::string>& systemctl);
// The same for this program, with the machine's own tools.
CommandResult installService(sys::Environment& host);

}  // namespace ebbwise

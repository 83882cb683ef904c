#pragma once

#include <functional>
#include <string>

#include "app/monitor.h"
#include "cli/report_command.h"
#include "linux/linux_platform.h"
#include "sys/environment.h"

namespace ebbwise {

// The background monitor: the monitor runs on this machine's own sensors
// (the folders and buses `roots` name) with the real run loop and keeps the
// history, without windows, until SIGTERM, SIGINT or SIGHUP; then it writes
// the minute in progress and ends with exit code 0. A machine without a
// battery has nothing to monitor: it says so and ends with exit code 1.
// `tell` gets the lines meant for the user as they happen (where the history
// goes, a history that cannot be kept); `tickObserver`, when given, sees
// every tick.
CommandResult runMonitor(sys::Environment& host, linux_host::LinuxPlatform::Roots roots,
                         const std::function<void(const std::string&)>& tell,
                         std::function<void(Monitor&)> tickObserver = {});

}  // namespace ebbwise

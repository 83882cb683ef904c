#pragma once

// Process sensors: every process's energy counter, its identity (the app it
// belongs to) and, for developer tools, what it runs and who started it.

#include <optional>
#include <string>
#include <vector>

#include "sensors/processes/app_identity.h"
#include "sensors/processes/process_key.h"
#include "sys/environment.h"
#include "sys/processes.h"

namespace ebbwise {

// Lists the running processes, reads their energy counters and tells whom
// each process belongs to. No state of its own.
namespace ProcessScanner {

// Every running process's pid, in the kernel's order; never pid 0.
std::vector<sys::Pid> allPIDs(sys::Processes& processes);

// One energy reading per running process. Processes that vanish between
// listing and reading, or that are not ours to read, are left out. Runs every
// tick over every process: two buffers and no text work.
std::vector<ProcessSample> scan(sys::Processes& processes);

// The executable's full path as valid UTF-8 (invalid bytes replaced); nothing
// when the process is gone or its path cannot be read.
std::optional<std::string> path(sys::Processes& processes, sys::Pid pid);

// The row a process's energy is shown under: its app bundle, a developer
// tool's session, or its executable's name ("pid 123" when even that is
// unknown). Costly; the caller caches it per process.
AppIdentity identity(sys::Processes& processes, sys::Environment& environment, sys::Pid pid);

}  // namespace ProcessScanner

}  // namespace ebbwise

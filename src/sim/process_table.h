#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "sim/scenario.h"
#include "sys/processes.h"

namespace ebbwise::sim {

// Full-load power of the graphics processor: a process drawing this much GPU
// power keeps it busy all the time, so GPU time is GPU energy over it.
inline constexpr double kGpuReferenceWatts = 12.0;

// One process over its whole life, past, present or future.
struct SimProcess {
  std::string id;
  sys::Pid pid = 0;
  std::string path;  // empty for the kernel, which has no executable file
  std::vector<std::string> args;
  std::vector<std::pair<std::string, std::string>> env;
  std::string cwd;
  bool root = false;
  // The kernel gives this monitor only the path and responsibility of the
  // process: it is another user's and the monitor does not run as root.
  bool restricted = false;
  std::uint32_t terminal = 0;  // e_tdev; 0 without a controlling terminal
  int parent = -1;             // index into the table, -1 for none
  int responsible = -1;        // index, -1 for itself
  double start = 0;            // seconds from the scenario start (negative: before it)
  double end = std::numeric_limits<double>::infinity();
  Load load;  // at the start; load events change the model's copy
  int gpuClients = 0;
  double efficiencyShare = 0.5;
  bool compositor = false;
  bool own = false;              // the monitor itself
  double energyBeforeStart = 0;  // joules its counter already shows at the scenario start
  double gpuSecondsBeforeStart = 0;
  std::string row;                     // the row the identity rules should give it; "" for none
  int rowIndex = -1;                   // of `row` in the table's `rowNames`; -1 for none
  std::vector<std::uint8_t> procArgs;  // the KERN_PROCARGS2 area

  bool aliveAt(double t) const { return start <= t && t < end; }
  // The file name, as the kernel's 16-byte command name keeps it.
  std::string commandName() const;
};

// Every process of a scenario: the scenario's own, a base system (kernel,
// launchd, the window server, login window, the monitor) and a crowd of small
// generated daemons. Indices are stable and unique, pids are what the kernel
// would hand out: rising with start time, reused only where the scenario says.
struct ProcessTable {
  std::vector<SimProcess> processes;
  int own = -1;  // index of the monitor
  sys::Pid maxPid = 0;
  std::vector<std::string> rowNames;  // every row some process has, in order of first use

  // `bootTime` is when the machine booted, in seconds from the scenario
  // start (negative); no process starts before it.
  static ProcessTable build(const Scenario& scenario, double bootTime);

  // The KERN_PROCARGS2 layout: argc (4 bytes, native order), the executable
  // path, NUL padding to an 8-byte boundary, the NUL-terminated arguments and
  // environment strings, then zeros to a 16-byte boundary.
  static std::vector<std::uint8_t> procArgsBuffer(
      const std::string& path, const std::vector<std::string>& args,
      const std::vector<std::pair<std::string, std::string>>& env);

  static constexpr const char* kOwnPath = "/Applications/Ebbwise.app/Contents/MacOS/Ebbwise";
};

}  // namespace ebbwise::sim

#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "accounting/tracker.h"
#include "sensors/processes/process_key.h"
#include "sys/date.h"
#include "sys/processes.h"

namespace ebbwise {

// Stops the processes of a row on the user's request. A pid can be handed
// to an unrelated process between the moment the row was listed and the
// moment the user clicks, so every signal goes only to the process the row
// was built from (same pid, same start time), and never to launchd or the
// kernel, to this program, to another user's process or to a coding-agent
// session, whose work would be lost.
class ProcessStopper {
 public:
  static constexpr int kTerminate = 15;  // SIGTERM
  static constexpr int kKill = 9;        // SIGKILL
  static constexpr std::size_t kLimit = 200;

  using Targets = std::vector<std::pair<ProcessKey, double>>;

  // What one stop did.
  struct Outcome {
    std::size_t signalled = 0;
    std::size_t refused = 0;  // gone, reused, or not ours to stop
  };

  // The processes a stop of `row` would signal, heaviest first: the row's
  // processes without the coding-agent sessions.
  static Targets stoppable(const Tracker& tracker, sys::Processes& processes,
                           const std::string& row);

  // Whether `key` may be signalled now: still the same process, and one the
  // user may stop.
  static bool maySignal(sys::Processes& processes, const ProcessKey& key);

  // Sends the terminate signal (the kill signal with `force`) to each of
  // `targets` that may be signalled, and marks it as stopping (keeping the
  // time of a first attempt).
  Outcome stop(sys::Processes& processes, const Targets& targets, bool force, sys::Date now);

  // Drops the marks of processes that have exited (or whose pid now
  // belongs to another process). True when a mark went.
  bool forgetExited(sys::Processes& processes);

  // Published state: processes a stop was sent to, with the first attempt.
  std::map<sys::Pid, sys::Date> stopping;

 private:
  std::map<sys::Pid, std::uint64_t> starts_;  // the start time each mark was sent to
};

}  // namespace ebbwise

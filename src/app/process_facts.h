#pragma once

#include <map>
#include <optional>
#include <string>

#include "sensors/processes/process_details.h"
#include "sys/date.h"
#include "sys/environment.h"
#include "sys/processes.h"

namespace ebbwise {

// What the panel tells about single processes: their details, fetched on
// first use and kept while the process lives, and a one-line description.
class ProcessFacts {
 public:
  // The cached details of `pid`, fetched when missing; a process that
  // cannot be inspected gives nothing and is asked again next time.
  std::optional<ProcessDetails> details(sys::Processes& processes, sys::Environment& environment,
                                        sys::Pid pid);
  // Forgets the processes for which `alive` is false.
  template <typename Alive>
  void keepOnly(Alive alive) {
    std::erase_if(cache, [&](const auto& entry) { return !alive(entry.first); });
  }

  // "command · started by Terminal · 5 minutes ago", each part only when
  // known; `command` is the row's own command text, else the process's.
  static std::string facts(const ProcessDetails& details, const std::optional<std::string>& command,
                           sys::Date now);
  // "5 minutes ago", "1 hour ago", "in 2 days", "now": whole units, spelled out.
  static std::string relativeTime(sys::Date at, sys::Date now);

  // Published state.
  std::map<sys::Pid, ProcessDetails> cache;
};

}  // namespace ebbwise

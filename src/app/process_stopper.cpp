#include "app/process_stopper.h"

#include "sensors/processes/process_inspector.h"

namespace ebbwise {

ProcessStopper::Targets ProcessStopper::stoppable(const Tracker& tracker, sys::Processes& processes,
                                                  const std::string& row) {
  Targets targets = tracker.topProcessKeys(row, kLimit);
  std::erase_if(targets, [&](const auto& target) {
    return ProcessInspector::isClaudeCLI(processes, target.first.pid);
  });
  return targets;
}

bool ProcessStopper::maySignal(sys::Processes& processes, const ProcessKey& key) {
  if (key.pid <= 1 || key.pid == processes.ownPid()) return false;
  // Same process as listed: a process the kernel will not describe to us is
  // not ours to judge, so not ours to stop.
  const auto usage = processes.rusage(key.pid);
  if (!usage || usage->procStartAbstime != key.start) return false;
  const auto bsd = processes.bsdInfo(key.pid);
  if (!bsd) return false;
  const auto own = processes.ownUid();
  if (bsd->uid && own && *bsd->uid != *own) return false;
  // Root's processes are the system's, even for a monitor started as root.
  if (bsd->uid == 0u) return false;
  return !ProcessInspector::isClaudeCLI(processes, key.pid);
}

ProcessStopper::Outcome ProcessStopper::stop(sys::Processes& processes, const Targets& targets,
                                             bool force, sys::Date now) {
  Outcome outcome;
  for (const auto& [key, watts] : targets) {
    // The kernel checks the start time once more at the signal itself.
    if (!maySignal(processes, key) ||
        !processes.killStarted(key.pid, key.start, force ? kKill : kTerminate)) {
      ++outcome.refused;
      continue;
    }
    ++outcome.signalled;
    stopping.try_emplace(key.pid, now);
    starts_[key.pid] = key.start;
  }
  return outcome;
}

bool ProcessStopper::forgetExited(sys::Processes& processes) {
  bool changed = false;
  for (auto it = stopping.begin(); it != stopping.end();) {
    const sys::Pid pid = it->first;
    bool gone = !processes.kill(pid, 0);
    if (!gone) {
      // A pid handed on to a newer process is not the one we stopped.
      const auto usage = processes.rusage(pid);
      const auto start = starts_.find(pid);
      gone = usage && start != starts_.end() && usage->procStartAbstime != start->second;
    }
    if (gone) {
      starts_.erase(pid);
      it = stopping.erase(it);
      changed = true;
    } else {
      ++it;
    }
  }
  return changed;
}

}  // namespace ebbwise

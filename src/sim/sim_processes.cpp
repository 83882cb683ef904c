#include "sim/sim_processes.h"

#include <algorithm>
#include <cmath>

#include "sim/energy_read_faults.h"

namespace ebbwise::sim {

const SimProcess* SimProcesses::live(sys::Pid pid, int* index) const {
  int i = model_.liveIndex(pid);
  if (i < 0) return nullptr;
  if (index) *index = i;
  return &model_.table().processes[static_cast<std::size_t>(i)];
}

const SimProcess* SimProcesses::readable(sys::Pid pid) const {
  const SimProcess* p = live(pid);
  return p && !p->restricted && !p->path.empty() ? p : nullptr;
}

int SimProcesses::listAllPids(std::span<sys::Pid> buffer) {
  auto lock = model_.sync();
  const auto& order = model_.liveInKernelOrder();
  if (buffer.empty()) return static_cast<int>(order.size());
  std::size_t n = std::min(buffer.size(), order.size());
  for (std::size_t k = 0; k < n; ++k) {
    buffer[k] = model_.table().processes[static_cast<std::size_t>(order[k])].pid;
  }
  return static_cast<int>(n);
}

std::optional<sys::RusageV6> SimProcesses::rusage(sys::Pid pid) {
  auto lock = model_.sync();
  int i = -1;
  const SimProcess* p = live(pid, &i);
  if (!p || p->restricted) return std::nullopt;  // EPERM for another user's process
  if (energyReadFails(model_, i)) return std::nullopt;
  return sys::RusageV6{model_.startTicks(i), model_.energyNJ(i)};
}

std::optional<std::string> SimProcesses::executablePath(sys::Pid pid) {
  auto lock = model_.sync();
  const SimProcess* p = live(pid);
  if (!p || p->path.empty()) return std::nullopt;
  return p->path;
}

std::optional<sys::BSDInfo> SimProcesses::bsdInfo(sys::Pid pid) {
  auto lock = model_.sync();
  int i = -1;
  const SimProcess* p = live(pid, &i);
  if (!p || p->restricted) return std::nullopt;
  double start = model_.startDate(i);
  double whole = std::floor(start);
  return sys::BSDInfo{model_.parentPid(i), p->terminal ? p->terminal : kNoTerminal,
                      static_cast<std::uint64_t>(whole),
                      static_cast<std::uint64_t>((start - whole) * 1e6),
                      p->root ? kRootUid : kUserUid};
}

std::optional<std::string> SimProcesses::currentDirectory(sys::Pid pid) {
  auto lock = model_.sync();
  const SimProcess* p = readable(pid);
  if (!p) return std::nullopt;
  return p->cwd;
}

std::optional<std::size_t> SimProcesses::procArgsSize(sys::Pid pid) {
  auto lock = model_.sync();
  const SimProcess* p = readable(pid);
  if (!p) return std::nullopt;
  return p->procArgs.size();
}

std::optional<std::size_t> SimProcesses::procArgs(sys::Pid pid, std::span<std::uint8_t> buffer) {
  auto lock = model_.sync();
  const SimProcess* p = readable(pid);
  if (!p) return std::nullopt;
  std::size_t n = std::min(buffer.size(), p->procArgs.size());
  std::copy_n(p->procArgs.begin(), n, buffer.begin());
  return n;
}

sys::Pid SimProcesses::responsiblePid(sys::Pid pid) {
  auto lock = model_.sync();
  const SimProcess* p = live(pid);
  if (!p) return -1;
  if (p->responsible < 0) return p->pid;
  return model_.table().processes[static_cast<std::size_t>(p->responsible)].pid;
}

sys::Pid SimProcesses::ownPid() {
  auto lock = model_.sync();
  const auto& table = model_.table();
  return table.own >= 0 ? table.processes[static_cast<std::size_t>(table.own)].pid : 0;
}

std::optional<std::uint32_t> SimProcesses::ownUid() {
  // The monitor runs as the user, even where it may read root's processes.
  return kUserUid;
}

bool SimProcesses::kill(sys::Pid pid, int signal) {
  auto lock = model_.sync();
  int i = -1;
  const SimProcess* p = live(pid, &i);
  if (!p) return false;
  // Another user's process, launchd and the kernel are not ours to signal.
  // Nor is the monitor's own process: ending it is the program's own business.
  if (p->restricted || pid <= 1 || p->own || signal < 0 || signal > 31) return false;
  if (signal == 0) return true;  // only asks whether the process exists
  // Hang-up, interrupt, quit, abort, kill and terminate end it; the machine's
  // processes do not handle the others.
  constexpr int kEnding[] = {1, 2, 3, 6, 9, 15};
  if (std::find(std::begin(kEnding), std::end(kEnding), signal) == std::end(kEnding)) return true;
  const bool ended = model_.kill(i);
  lock.unlock();
  if (ended && ended_) ended_();
  return ended;
}

}  // namespace ebbwise::sim

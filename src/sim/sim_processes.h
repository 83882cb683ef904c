#pragma once

#include <functional>

#include "sim/machine_model.h"
#include "sys/processes.h"

namespace ebbwise::sim {

// The kernel's process calls over the model's process table. Unless the
// monitor runs as root, processes of other users (the window server,
// launchd, root daemons) answer only their path and responsible process: the
// kernel refuses their energy counter, BSD record, arguments and working
// folder, and they cannot be signalled.
class SimProcesses final : public sys::Processes {
 public:
  explicit SimProcesses(MachineModel& model) : model_(model) {}

  int listAllPids(std::span<sys::Pid> buffer) override;
  std::optional<sys::RusageV6> rusage(sys::Pid pid) override;
  std::optional<std::string> executablePath(sys::Pid pid) override;
  std::optional<sys::BSDInfo> bsdInfo(sys::Pid pid) override;
  std::optional<std::string> currentDirectory(sys::Pid pid) override;
  std::optional<std::size_t> procArgsSize(sys::Pid pid) override;
  std::optional<std::size_t> procArgs(sys::Pid pid, std::span<std::uint8_t> buffer) override;
  sys::Pid responsiblePid(sys::Pid pid) override;
  sys::Pid ownPid() override;
  std::optional<std::uint32_t> ownUid() override;
  bool kill(sys::Pid pid, int signal) override;

  static constexpr std::uint32_t kNoTerminal = 0xFFFFFFFF;  // NODEV
  // The user every scenario process runs as, unless it is root's.
  static constexpr std::uint32_t kUserUid = 501;
  static constexpr std::uint32_t kRootUid = 0;

  // Called (without the model's lock) after a signal ended a process.
  void onEnded(std::function<void()> listener) { ended_ = std::move(listener); }

 private:
  const SimProcess* live(sys::Pid pid, int* index = nullptr) const;
  const SimProcess* readable(sys::Pid pid) const;

  MachineModel& model_;
  std::function<void()> ended_;
};

}  // namespace ebbwise::sim

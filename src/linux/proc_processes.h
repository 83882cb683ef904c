#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "linux/credentials.h"
#include "linux/proc_stat.h"
#include "linux/process_energy_ledger.h"
#include "linux/rapl_counters.h"
#include "linux/unique_fd.h"
#include "sys/processes.h"

namespace ebbwise::linux_host {

// The kernel's process-information calls, answered from a procfs tree
// (normally /proc).
//
// - Start times are the kernel's own (clock ticks since boot, counting
//   suspend), in nanoseconds: the units of the host clock's ticks.
// - The energy counter is an estimate: each listing of the processes ends an
//   interval, and the processor's energy over it (the cores' RAPL domain,
//   else the package's) is shared by CPU time (see ProcessEnergyLedger).
//   Without readable counters it stays 0.
// - The argument area is built in the kernel's own layout (argc, executable
//   path, padding, arguments, environment) from cmdline and environ. Like
//   the working folder, it is only readable for the user's own processes
//   (any for root). A command line rewritten without NULs is one argument.
// - Kernel threads belong to the kernel: their resource usage is not ours
//   to read.
// - A process's user is its real uid from its status, else the owner of
//   its folder; this program's own is its real uid (or the credentials'
//   user when it reads as someone else).
// - On the kernel's own procfs each process's stat file is held open between
//   scans and read from its start (a process that ended answers its held
//   file with an error, and is read afresh by pid); at most
//   `Options::maxHeldFiles` of them, the rest opened on each read.
// - Stopping a process holds it by a pidfd, where the kernel has them, while
//   its start time is checked, so a reused pid is never signalled.
// A process that vanishes between two reads just reads as absent.
class ProcProcesses final : public sys::Processes {
 public:
  struct Options {
    Credentials credentials = Credentials::own();
    long ticksPerSecond = 0;  // USER_HZ; 0 asks the system
    // Stat files held open at most; 0 holds half the descriptors the
    // process may open, leaving the other half to everything else.
    std::size_t maxHeldFiles = 0;
  };

  // `counters` (optional) must outlive the provider.
  ProcProcesses(std::string procRoot, RaplCounters* counters, Options options);
  ProcProcesses(std::string procRoot, RaplCounters* counters)
      : ProcProcesses(std::move(procRoot), counters, Options{}) {}

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
  bool killStarted(sys::Pid pid, std::uint64_t start, int signal) override;

  // The most the argument area holds of the command line, and of the
  // environment, each; the rest is cut.
  static constexpr std::size_t kMaxArgumentBytes = 2u << 20;

 private:
  std::string folder(sys::Pid pid) const;
  std::optional<ProcStat> stat(sys::Pid pid);
  // Closes the held stat files of processes not in `pids`.
  void letGoOfEnded(std::vector<sys::Pid> pids);
  std::uint64_t startTime(const ProcStat& stat) const;
  // Whether this tree is the kernel's own view of this process's pid space:
  // signals go to real processes, never to the pids of a copied tree.
  bool isLive() const;
  std::vector<sys::Pid> readPids() const;
  // The real uid on the status file's "Uid:" line, else the folder's owner.
  std::optional<uid_t> owner(sys::Pid pid) const;
  // Whether the process's arguments, environment and folder are ours to read.
  bool isReadable(sys::Pid pid) const;
  std::optional<std::string> link(sys::Pid pid, const char* name) const;
  std::optional<std::vector<std::uint8_t>> argumentArea(sys::Pid pid);
  void beginInterval(const std::vector<sys::Pid>& pids);

  std::string root_;
  RaplCounters* counters_;
  Credentials credentials_;
  long ticksPerSecond_;
  std::mutex mutex_;
  // A listing counted by the first of the usual pair of calls, handed out by
  // the second.
  std::optional<std::vector<sys::Pid>> counted_;
  ProcessEnergyLedger ledger_;
  // The argument area built for the size query, reused by the read after it.
  std::optional<std::pair<sys::Pid, std::vector<std::uint8_t>>> area_;
  std::optional<std::int64_t> bootTime_;
  // The tree's folder, for opening its files by pid alone.
  UniqueFd rootFolder_;
  std::size_t maxHeld_ = 0;  // 0 on a tree that is not procfs: its files never end
  std::mutex heldMutex_;
  std::unordered_map<sys::Pid, UniqueFd> held_;
};

}  // namespace ebbwise::linux_host

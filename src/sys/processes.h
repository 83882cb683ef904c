#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace ebbwise::sys {

using Pid = std::int32_t;

// The two fields of the kernel's version-6 resource-usage record the system uses.
struct RusageV6 {
  std::uint64_t procStartAbstime = 0;  // start time, monotonic clock ticks (ri_proc_start_abstime)
  std::uint64_t energyNJ = 0;          // cumulative energy since start, nanojoules (ri_energy_nj)
};

// The fields of the kernel's BSD process record the system uses.
struct BSDInfo {
  Pid parentPid = 0;  // pbi_ppid
  std::uint32_t terminalDevice =
      0;                           // e_tdev; 0 or 0xFFFFFFFF when there is no controlling terminal
  std::uint64_t startSeconds = 0;  // pbi_start_tvsec, seconds since 1970
  std::uint64_t startMicroseconds = 0;
  // pbi_uid: the user the process runs as; absent when the provider cannot tell.
  std::optional<std::uint32_t> uid = std::nullopt;
};

// The kernel's process-information calls, one method per call.
class Processes {
 public:
  virtual ~Processes() = default;

  // proc_listallpids: with an empty buffer, the number of processes; with a
  // buffer, fills it from the front and answers how many pids it wrote (never
  // more than fit). A negative answer is a failure.
  virtual int listAllPids(std::span<Pid> buffer) = 0;

  // proc_pid_rusage with RUSAGE_INFO_V6; nothing when the process is gone or
  // not ours to read.
  virtual std::optional<RusageV6> rusage(Pid pid) = 0;

  // proc_pidpath: the executable's path as raw bytes (normally UTF-8, up to
  // 4096 bytes); nothing when the process is gone or the call fails.
  virtual std::optional<std::string> executablePath(Pid pid) = 0;

  // proc_pidinfo with PROC_PIDTBSDINFO; nothing when the call fails.
  virtual std::optional<BSDInfo> bsdInfo(Pid pid) = 0;

  // proc_pidinfo with PROC_PIDVNODEPATHINFO: the current directory's path as
  // raw bytes (possibly empty); nothing when the call fails.
  virtual std::optional<std::string> currentDirectory(Pid pid) = 0;

  // sysctl {CTL_KERN, KERN_PROCARGS2, pid} without a buffer: the size in bytes
  // of the argument area; nothing when the call fails.
  virtual std::optional<std::size_t> procArgsSize(Pid pid) = 0;

  // The same sysctl into `buffer`: how many bytes it wrote (at most the
  // buffer's size); nothing when the call fails. The bytes are argc (32-bit,
  // native order), the executable path, NUL padding, then NUL-terminated
  // arguments and environment strings.
  virtual std::optional<std::size_t> procArgs(Pid pid, std::span<std::uint8_t> buffer) = 0;

  // responsibility_get_pid_responsible_for_pid: the pid answerable for `pid`
  // (itself for most processes); a negative answer is a failure.
  virtual Pid responsiblePid(Pid pid) = 0;

  // getpid: this program's own process id.
  virtual Pid ownPid() = 0;

  // getuid: the user this program runs as; absent when the provider cannot tell.
  virtual std::optional<std::uint32_t> ownUid() { return std::nullopt; }

  // kill: sends `signal`; true when the kernel accepted it.
  virtual bool kill(Pid pid, int signal) = 0;

  // kill, but only while `pid` is still the process that started at `start`
  // (as `rusage` stamps it), so that a pid the kernel has since handed to a
  // newer process is never signalled. This default checks and then signals,
  // leaving a short window for the pid to be reused in between; a kernel that
  // can hold a process by handle closes that window.
  virtual bool killStarted(Pid pid, std::uint64_t start, int signal) {
    const auto usage = rusage(pid);
    if (!usage || usage->procStartAbstime != start) return false;
    return kill(pid, signal);
  }
};

}  // namespace ebbwise::sys

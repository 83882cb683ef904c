#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ebbwise::linux_host {

// The fields of a process's /proc/PID/stat line that the system uses. Times
// are in clock ticks (USER_HZ).
struct ProcStat {
  char state = '?';
  std::int32_t parentPid = 0;
  std::int64_t terminal = 0;  // tty_nr; 0 without a controlling terminal
  std::uint64_t flags = 0;
  std::uint64_t userTicks = 0;
  std::uint64_t systemTicks = 0;
  std::uint64_t startTicks = 0;  // since boot

  static constexpr std::uint64_t kKernelThread = 0x00200000;  // PF_KTHREAD

  // Nothing for a line that is cut short or garbled. The command name in
  // parentheses may hold anything, parentheses and spaces included.
  static std::optional<ProcStat> parse(std::string_view line);

  bool isKernelThread() const { return (flags & kKernelThread) != 0; }
  std::uint64_t cpuTicks() const { return userTicks + systemTicks; }
};

// The machine-wide figures of /proc/stat the system uses.
struct SystemStat {
  std::uint64_t busyTicks = 0;           // every CPU's time outside idle and waiting, summed
  std::optional<std::int64_t> bootTime;  // "btime", seconds since 1970

  static std::optional<SystemStat> parse(std::string_view text);
};

}  // namespace ebbwise::linux_host

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sys/processes.h"

namespace ebbwise::test {

// The kernel's argument area for one process, byte by byte: argc (32-bit,
// native order), the executable path, NUL padding up to an 8-byte boundary,
// the arguments and the environment strings each NUL-terminated, then a run
// of zero bytes.
std::vector<std::uint8_t> procArgsBuffer(std::string_view executablePath,
                                         const std::vector<std::string>& arguments,
                                         const std::vector<std::string>& environment);

// One process of the fake table. Absent fields make the matching call fail.
struct FakeProcess {
  sys::Pid pid = 0;
  std::uint64_t start = 0;     // rusage start ticks
  std::uint64_t energyNJ = 0;  // rusage cumulative energy
  bool rusageFails = false;
  std::optional<std::string> path = {};
  std::optional<sys::BSDInfo> bsd = {};
  std::optional<std::string> cwd = {};
  std::optional<std::vector<std::string>> argv = {};  // absent: the argument area is unreadable
  std::vector<std::string> env = {};                  // "KEY=value" strings
  sys::Pid responsible = 0;                           // 0: the process itself
};

// A process table that answers the kernel's process calls the way a Mac does.
class FakeProcesses final : public sys::Processes {
 public:
  // Adds `process`, replacing any with its pid; listed in the order added.
  // The reference lasts until the next add.
  FakeProcess& add(FakeProcess process);

  sys::Pid own = 1000;                   // this program's pid
  std::optional<std::uint32_t> ownUser;  // the user this program runs as

  // Hooks for odd kernel answers.
  std::optional<int> countAnswer;  // answer to the counting call instead of the table size
  std::optional<int> listAnswer;   // answer to the filling call instead of the pids written
  std::optional<std::size_t> procArgsSizeAnswer;     // answer to the sizing sysctl for every pid
  std::optional<std::size_t> procArgsWrittenAnswer;  // bytes the filling sysctl claims it wrote

  int listAllPids(std::span<sys::Pid> buffer) override;
  std::optional<sys::RusageV6> rusage(sys::Pid pid) override;
  std::optional<std::string> executablePath(sys::Pid pid) override { return field(pid)->path; }
  std::optional<sys::BSDInfo> bsdInfo(sys::Pid pid) override { return field(pid)->bsd; }
  std::optional<std::string> currentDirectory(sys::Pid pid) override { return field(pid)->cwd; }
  std::optional<std::size_t> procArgsSize(sys::Pid pid) override;
  std::optional<std::size_t> procArgs(sys::Pid pid, std::span<std::uint8_t> buffer) override;
  sys::Pid responsiblePid(sys::Pid pid) override;
  sys::Pid ownPid() override { return own; }
  std::optional<std::uint32_t> ownUid() override { return ownUser; }
  bool kill(sys::Pid pid, int) override { return find(pid) != nullptr; }

 private:
  // The table entry for `pid`; nullptr when there is none.
  const FakeProcess* find(sys::Pid pid) const;
  // The entry for `pid`, or an empty one (every field absent) when there is none.
  const FakeProcess* field(sys::Pid pid) const;
  std::optional<std::vector<std::uint8_t>> argumentArea(sys::Pid pid);

  std::vector<FakeProcess> table_;
};

}  // namespace ebbwise::test

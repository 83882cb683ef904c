#pragma once

#include <cstddef>

#include "sys/tool_runner.h"

namespace ebbwise::linux_host {

// Runs tools as child processes of this program: spawned without a shell,
// in a process group of their own, with every signal at its default and none
// blocked, no descriptor of ours but the three standard ones, and reaped
// before the call returns.
class HostToolRunner final : public sys::ToolRunner {
 public:
  struct Limits {
    double timeoutSeconds = kTimeoutSeconds;
    std::size_t maxOutputBytes = kMaxOutputBytes;
  };

  HostToolRunner() = default;
  explicit HostToolRunner(Limits limits) : limits_(limits) {}

  std::optional<sys::ToolRun> run(std::string_view path,
                                  std::span<const std::string> arguments) override;

 private:
  Limits limits_;
};

}  // namespace ebbwise::linux_host

#pragma once

#include "sim/machine_model.h"
#include "sys/tool_runner.h"

namespace ebbwise::sim {

// The machine's command-line tools. Only the hardware report tool is
// installed: asked for its Bluetooth or USB report it describes the
// scenario's accessories the way the real tool does (JSON with "-json",
// text otherwise); an option it does not know ends it with a usage error and
// no output. Every other program is missing and cannot be started.
class SimToolRunner final : public sys::ToolRunner {
 public:
  explicit SimToolRunner(MachineModel& model) : model_(model) {}

  std::optional<sys::ToolRun> run(std::string_view path,
                                  std::span<const std::string> arguments) override;

  static constexpr std::string_view kSystemProfiler = "/usr/sbin/system_profiler";

 private:
  MachineModel& model_;
};

}  // namespace ebbwise::sim

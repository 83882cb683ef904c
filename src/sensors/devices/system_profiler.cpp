#include "sensors/devices/system_profiler.h"

#include <array>

namespace ebbwise::SystemProfiler {

std::optional<std::string> report(sys::ToolRunner& tools, std::string_view dataType,
                                  std::string_view detailLevel) {
  const std::array<std::string, 4> arguments = {"-json", "-detailLevel", std::string(detailLevel),
                                                std::string(dataType)};
  std::optional<sys::ToolRun> run = tools.run(path, arguments);
  if (!run || run->timedOut || run->outputTruncated) return std::nullopt;
  return std::move(run->output);
}

}  // namespace ebbwise::SystemProfiler

#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sys/tool_runner.h"

namespace ebbwise {

// Runs the system's hardware report tool for one data type in JSON.
namespace SystemProfiler {

inline constexpr std::string_view path = "/usr/sbin/system_profiler";

// The tool's output for `dataType` ("SPBluetoothDataType") at `detailLevel`
// ("basic", "mini"); nothing when the tool cannot start or its run was cut
// short (killed for taking too long or writing too much). Blocks until the
// tool ends: never call it on the main thread.
std::optional<std::string> report(sys::ToolRunner& tools, std::string_view dataType,
                                  std::string_view detailLevel);

}  // namespace SystemProfiler

}  // namespace ebbwise

#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sys/tool_runner.h"

namespace ebbwise {

// The devices on the Mac's USB buses, from the system's USB report, to name
// what the Mac charges through each USB-C port.
namespace USBDevices {

// Bus number (from 1, in the report's order) to the names of the devices on
// it, hubs left out.
using Buses = std::map<int, std::vector<std::string>>;

// Hubs nested deeper than this are not followed: a real USB tree is a few
// tiers deep, and a report nested without end must not exhaust the stack.
inline constexpr int maxDepth = 16;

// Runs the USB report and parses it; empty when the tool cannot run. Blocks
// until the tool ends: never call it on the main thread.
Buses read(sys::ToolRunner& tools);

// The device names per bus in a report; buses without devices get no entry,
// and anything not shaped like a report gives none.
Buses parse(std::string_view json);

// A friendlier name for the devices people charge from a Mac ("iPhone" for
// "Alex's iPhone 15"); other names unchanged.
std::string friendlyName(const std::string& name);

// The power row of a port with these devices on it.
std::string rowName(const std::optional<std::vector<std::string>>& names);

}  // namespace USBDevices

}  // namespace ebbwise

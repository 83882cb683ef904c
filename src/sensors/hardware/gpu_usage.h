#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "sys/registry.h"
#include "sys/value.h"

namespace ebbwise {

// Per-process GPU time from the graphics accelerators' user clients.
namespace GPUUsage {

// Cumulative GPU time per pid, summed over every user client of that pid on
// every accelerator; empty when there is no accelerator.
std::unordered_map<std::int32_t, std::uint64_t> read(sys::Registry& registry);

// The pid in a user client's creator text ("pid 812, WindowServer" → 812);
// nothing without the "pid " prefix, without digits, or beyond 32 bits.
std::optional<std::int32_t> pid(std::string_view fromCreator);

// The sum of "accumulatedGPUTime" over a list of usage dictionaries; entries
// without a non-negative number there add nothing. Saturates rather than wraps.
std::uint64_t gpuTime(const sys::Value& usageList);

}  // namespace GPUUsage

}  // namespace ebbwise

#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace ebbwise {

// A process, told apart from a later process that reuses its pid by its start
// time (monotonic clock ticks, as the kernel stamps it).
struct ProcessKey {
  std::int32_t pid = 0;
  std::uint64_t start = 0;

  friend bool operator==(const ProcessKey&, const ProcessKey&) = default;
};

// One reading of a process's cumulative energy counter.
struct ProcessSample {
  ProcessKey key;
  std::uint64_t energyNJ = 0;  // nanojoules since the process started

  friend bool operator==(const ProcessSample&, const ProcessSample&) = default;
};

}  // namespace ebbwise

template <>
struct std::hash<ebbwise::ProcessKey> {
  std::size_t operator()(const ebbwise::ProcessKey& k) const noexcept {
    std::uint64_t h = k.start * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<std::uint32_t>(k.pid) + 0x7F4A7C15ull + (h << 6) + (h >> 2);
    return static_cast<std::size_t>(h);
  }
};

#pragma once

// Constants and helpers shared by the machine model's sources, and by
// nothing else.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace ebbwise::sim::MachineModelConstants {

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();
inline constexpr double kTemperatureSeconds = 900;  // the pack warms and cools slowly
inline constexpr double kAverageSeconds = 180;      // the system's battery-power average
// A hibernating machine wakes once a charger has brought the battery back
// to this share of its energy.
inline constexpr double kWakeFraction = 0.02;

// The generator's streams, one per kind of draw. A seed's machine is made of
// these draws, so the values never change and never repeat.
enum Salt : std::uint64_t {
  kCpuFast = 101,
  kGpuFast,
  kActivity,
  kCoreSplit,
  kWifi,
  kCapacity,
  kStorageBurst,
  kRadioBurst,
};

inline double clamp01(double x) {
  return std::isfinite(x) ? std::clamp(x, 0.0, 1.0) : 0.0;
}

}  // namespace ebbwise::sim::MachineModelConstants

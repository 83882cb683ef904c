#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sys/process_info.h"

namespace ebbwise::linux_host {

// The kernel's thermal zones (sysfs class "thermal") and how hot the machine
// runs by them, in the platform's four thermal states.
namespace ThermalZones {

struct Trip {
  std::string type;  // "active", "passive", "hot", "critical"
  std::int64_t milliCelsius = 0;
};

struct Zone {
  std::string name;
  std::optional<std::int64_t> milliCelsius;  // absent when unreadable or implausible
  std::vector<Trip> trips;                   // only trips with a plausible temperature
  bool enabled = true;
};

// Every zone under `sysRoot`/class/thermal, by name. Garbled or implausible
// temperatures (sensors that read 0 K or far above any chip's limit, unused
// trip slots) are left out rather than trusted.
std::vector<Zone> read(const std::string& sysRoot);

// The hottest verdict over the zones:
// - critical: a zone has reached its "hot" or "critical" trip, where the
//   system shuts down or sleeps to save itself;
// - serious: it has reached a "passive" trip, where the kernel slows the
//   processor down, or, for a zone without one, lies within 10 degrees of
//   its critical trip;
// - fair: it has reached its lowest "active" trip (a fan starts), or, for a
//   zone without one, lies within 20 degrees of its critical trip;
// - nominal otherwise, and for zones that are disabled or unreadable.
sys::ThermalState judge(const std::vector<Zone>& zones);

}  // namespace ThermalZones

}  // namespace ebbwise::linux_host

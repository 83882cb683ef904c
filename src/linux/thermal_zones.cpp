#include "linux/thermal_zones.h"

#include <algorithm>
#include <filesystem>

#include "linux/sysfs_file.h"

namespace ebbwise::linux_host::ThermalZones {

namespace {

// Readings outside this range are a sensor's error codes or unused slots.
constexpr std::int64_t kLowest = -40'000;
constexpr std::int64_t kHighest = 200'000;
constexpr std::int64_t kSeriousMargin = 10'000;
constexpr std::int64_t kFairMargin = 20'000;

std::optional<std::int64_t> plausible(std::optional<std::int64_t> milliCelsius) {
  if (!milliCelsius || *milliCelsius <= kLowest || *milliCelsius >= kHighest) return std::nullopt;
  return milliCelsius;
}

sys::ThermalState judge(const Zone& zone) {
  if (!zone.enabled || !zone.milliCelsius) return sys::ThermalState::nominal;
  const std::int64_t t = *zone.milliCelsius;
  std::optional<std::int64_t> critical, passive, active;
  for (const Trip& trip : zone.trips) {
    auto lowest = [&](std::optional<std::int64_t>& slot) {
      slot = slot ? std::min(*slot, trip.milliCelsius) : trip.milliCelsius;
    };
    if (trip.type == "critical" || trip.type == "hot") lowest(critical);
    if (trip.type == "passive") lowest(passive);
    if (trip.type == "active") lowest(active);
  }
  if (critical && t >= *critical) return sys::ThermalState::critical;
  if (passive ? t >= *passive : critical && t >= *critical - kSeriousMargin) {
    return sys::ThermalState::serious;
  }
  if (active ? t >= *active : critical && t >= *critical - kFairMargin) {
    return sys::ThermalState::fair;
  }
  return sys::ThermalState::nominal;
}

}  // namespace

std::vector<Zone> read(const std::string& sysRoot) {
  std::vector<Zone> zones;
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator(sysRoot + "/class/thermal", error)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with("thermal_zone")) continue;  // cooling devices live here too
    const std::string folder = entry.path().string();
    Zone zone;
    zone.name = name;
    zone.milliCelsius = plausible(SysfsFile::readInteger(folder + "/temp"));
    zone.enabled = SysfsFile::readLine(folder + "/mode") != "disabled";
    // Trips are numbered from 0 without gaps; the first missing one ends them.
    for (int i = 0; i < 64; ++i) {
      const std::string trip = folder + "/trip_point_" + std::to_string(i);
      const auto type = SysfsFile::readLine(trip + "_type");
      if (!type) break;
      if (auto t = plausible(SysfsFile::readInteger(trip + "_temp")); t && *t > 0) {
        zone.trips.push_back({*type, *t});
      }
    }
    zones.push_back(std::move(zone));
  }
  std::sort(zones.begin(), zones.end(),
            [](const Zone& a, const Zone& b) { return a.name < b.name; });
  return zones;
}

sys::ThermalState judge(const std::vector<Zone>& zones) {
  sys::ThermalState worst = sys::ThermalState::nominal;
  for (const Zone& zone : zones) worst = std::max(worst, judge(zone));
  return worst;
}

}  // namespace ebbwise::linux_host::ThermalZones

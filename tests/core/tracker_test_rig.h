#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/battery_reading.h"
#include "core/tracker.h"
#include "core/tracker_readers.h"

namespace ebbwise::testing {

inline BatteryReading reading(bool onAC, double percent = 80, double watts = -10,
                              double remainingWh = 40) {
  BatteryReading battery;
  battery.onAC = onAC;
  battery.percent = percent;
  battery.watts = watts;
  battery.remainingWh = remainingWh;
  return battery;
}

// Readers whose next answers a test sets, and which record how they were asked.
struct FakeReaders {
  std::optional<SystemEnergy> system;
  std::optional<ChipEnergy> chip;
  std::unordered_map<std::int32_t, std::uint64_t> gpu;
  std::map<std::int32_t, AppIdentity> identities;  // by pid; others get "app <pid>"
  std::vector<std::int32_t> identified;            // every pid `identify` was asked for

  TrackerReaders readers() {
    TrackerReaders r;
    r.readSystem = [this] { return system; };
    r.readChip = [this] { return chip; };
    r.readGPU = [this] { return gpu; };
    r.identify = [this](std::int32_t pid) {
      identified.push_back(pid);
      auto it = identities.find(pid);
      if (it != identities.end()) return it->second;
      AppIdentity id;
      id.name = "app " + std::to_string(pid);
      return id;
    };
    return r;
  }
};

// Cumulative energy counters of a set of processes, advanced by a test.
struct FakeProcesses {
  std::map<std::int32_t, ProcessSample> live;  // by pid

  void start(std::int32_t pid, std::uint64_t startTime = 1, std::uint64_t energyNJ = 0) {
    live[pid] = ProcessSample{ProcessKey{pid, startTime}, energyNJ};
  }
  void stop(std::int32_t pid) { live.erase(pid); }
  void use(std::int32_t pid, double joules) {
    live.at(pid).energyNJ += static_cast<std::uint64_t>(joules * 1e9 + 0.5);
  }
  std::vector<ProcessSample> samples() const {
    std::vector<ProcessSample> result;
    for (const auto& [pid, sample] : live) result.push_back(sample);
    return result;
  }
};

}  // namespace ebbwise::testing

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sys/date.h"
#include "sys/processes.h"

namespace ebbwise::sim {

// The parts whose power makes up the whole system's. The first six are the
// chip's (what its energy channels count); the rest are off the chip.
enum class Part : std::size_t {
  cpu,
  gpu,
  neuralEngine,
  video,  // media engines and camera signal processor
  memory,
  chip,  // the chip's own idle: fabric, display engine, PCIe
  screen,
  keyboard,
  speakers,
  usbC,  // power delivered to devices on the USB-C ports
  wifi,
  board,  // everything else on the logic board
  chargingLoss,
  sleep,  // the whole machine while asleep
  count,
};

inline constexpr std::size_t kPartCount = static_cast<std::size_t>(Part::count);
using PartArray = std::array<double, kPartCount>;

std::string_view partName(Part part);
constexpr bool isChipPart(Part part) {
  return part <= Part::chip;
}

// One process's energy since the scenario started (a process that was already
// running counts from there; its own counter also shows what came before).
struct ProcessTruth {
  sys::Pid pid = 0;
  std::uint64_t startTicks = 0;  // as the kernel stamps it
  std::string path;
  // The row name the identity rules should give it; empty for the kernel,
  // which is never listed, and for processes whose counters the kernel
  // keeps from the monitor: their energy is the system's and no row's.
  std::string row;
  double cpuJoules = 0;
  double gpuJoules = 0;
  bool running = false;
  // The monitor can read its energy counter, so its energy can be billed to
  // an app; otherwise it lands in the system's rows.
  bool billable = false;

  double joules() const { return cpuJoules + gpuJoules; }
};

struct RowTruth {
  double cpuJoules = 0;
  double gpuJoules = 0;

  double joules() const { return cpuJoules + gpuJoules; }
};

// Energy totals in joules, cumulative in a snapshot and differences in an
// interval.
struct EnergyTotals {
  double systemJoules = 0;      // the whole system (what the system power reports)
  double batteryOutJoules = 0;  // drawn from the battery
  double batteryInJoules = 0;   // stored into the battery
  double chargerJoules = 0;     // delivered by the charger
  PartArray parts{};
  std::vector<ProcessTruth> processes;   // every process that ran, in start order
  std::map<std::string, RowTruth> rows;  // processes with a row, by row name

  double part(Part p) const { return parts[static_cast<std::size_t>(p)]; }
  // The parts the chip's energy channels count.
  double chipJoules() const;
  double partsJoules() const;
};

// What really happened up to one instant.
struct TruthSnapshot : EnergyTotals {
  sys::Date at;
  double seconds = 0;         // since the scenario started
  double batteryJoules = 0;   // energy left in the battery
  double batteryPercent = 0;  // true charge, of the real full capacity
  double chargeMAh = 0;
  double fullMAh = 0;       // the pack's true full capacity
  double voltage = 0;       // open-circuit; the gauge reads it under load
  double systemWatts = 0;   // at this instant
  double batteryWatts = 0;  // signed: + into the battery
};

// What happened between two snapshots.
struct TruthInterval : EnergyTotals {
  double seconds = 0;

  double averageWatts(double joules) const { return seconds > 0 ? joules / seconds : 0; }
};

// The whole system's and each row's energy up to one instant: what
// bookkeeping that runs every tick needs, without the per-process detail of
// a TruthSnapshot. `rows` follows the machine's row names
// (`SimulatedMac::rowNames()`), which never change.
struct RowSnapshot {
  double seconds = 0;  // since the scenario started
  double systemJoules = 0;
  PartArray parts{};
  std::vector<RowTruth> rows;

  double part(Part p) const { return parts[static_cast<std::size_t>(p)]; }
};

// `later` minus `earlier`; processes are matched by pid and start ticks, rows
// by name. Processes that started in between count in full.
TruthInterval interval(const TruthSnapshot& earlier, const TruthSnapshot& later);

}  // namespace ebbwise::sim

#include "sim/truth.h"

#include <map>
#include <utility>

namespace ebbwise::sim {

std::string_view partName(Part part) {
  switch (part) {
    case Part::cpu:
      return "cpu";
    case Part::gpu:
      return "gpu";
    case Part::neuralEngine:
      return "neural engine";
    case Part::video:
      return "video";
    case Part::memory:
      return "memory";
    case Part::chip:
      return "chip";
    case Part::screen:
      return "screen";
    case Part::keyboard:
      return "keyboard";
    case Part::speakers:
      return "speakers";
    case Part::usbC:
      return "usb-c";
    case Part::wifi:
      return "wi-fi";
    case Part::board:
      return "board";
    case Part::chargingLoss:
      return "charging loss";
    case Part::sleep:
      return "sleep";
    case Part::count:
      break;
  }
  return "?";
}

double EnergyTotals::chipJoules() const {
  double sum = 0;
  for (std::size_t i = 0; i < kPartCount; ++i) {
    if (isChipPart(static_cast<Part>(i))) sum += parts[i];
  }
  return sum;
}

double EnergyTotals::partsJoules() const {
  double sum = 0;
  for (double p : parts) sum += p;
  return sum;
}

TruthInterval interval(const TruthSnapshot& earlier, const TruthSnapshot& later) {
  TruthInterval d;
  d.seconds = later.seconds - earlier.seconds;
  d.systemJoules = later.systemJoules - earlier.systemJoules;
  d.batteryOutJoules = later.batteryOutJoules - earlier.batteryOutJoules;
  d.batteryInJoules = later.batteryInJoules - earlier.batteryInJoules;
  d.chargerJoules = later.chargerJoules - earlier.chargerJoules;
  for (std::size_t i = 0; i < kPartCount; ++i) d.parts[i] = later.parts[i] - earlier.parts[i];

  std::map<std::pair<sys::Pid, std::uint64_t>, const ProcessTruth*> before;
  for (const auto& p : earlier.processes) before[{p.pid, p.startTicks}] = &p;
  for (const auto& p : later.processes) {
    ProcessTruth q = p;
    if (auto it = before.find({p.pid, p.startTicks}); it != before.end()) {
      q.cpuJoules -= it->second->cpuJoules;
      q.gpuJoules -= it->second->gpuJoules;
    }
    if (!q.row.empty()) {
      RowTruth& row = d.rows[q.row];
      row.cpuJoules += q.cpuJoules;
      row.gpuJoules += q.gpuJoules;
    }
    d.processes.push_back(std::move(q));
  }
  return d;
}

}  // namespace ebbwise::sim

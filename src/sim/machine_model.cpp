#include "sim/machine_model.h"

#include <algorithm>
#include <cmath>

#include "sim/normalized_scenario.h"

// Building the machine: its processes, energy channels and timeline. How it
// steps through time, what it draws and what it reads out live in the
// machine_model_*.cpp files beside this one.

namespace ebbwise::sim {

MachineModel::MachineModel(Scenario scenario, sys::Clock& clock)
    : scenario_(normalizedScenario(std::move(scenario))),
      clock_(clock),
      start_(clock.now()),
      ticks0_(clock.monotonicTicks()),
      timebase_(clock.timebase()),
      table_(ProcessTable::build(scenario_, -timebase_.ticksToSeconds(ticks0_))),
      pack_(scenario_.machine.battery.fullMAh) {
  const MachineSetup& m = scenario_.machine;
  const auto n = table_.processes.size();

  loads_.resize(n);
  startTicks_.resize(n);
  audioClient_.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const SimProcess& p = table_.processes[i];
    loads_[i] = p.load;
    startTicks_[i] = ticksAt(p.start);
    audioClient_[i] = p.load.audio != AudioUse::none;
  }
  for (const Event& e : scenario_.events) {
    if (e.type == EventType::load && e.change.audio && *e.change.audio != AudioUse::none) {
      for (std::size_t i = 0; i < n; ++i) {
        if (inGroup(table_.processes[i].id, e.process)) audioClient_[i] = true;
      }
    }
  }
  pidMap_.assign(static_cast<std::size_t>(table_.maxPid) + 1, -1);

  // Energy channels by chip generation. Leaves carry energy; clusters add up
  // their cores' published integers, so they always agree with them exactly.
  // The CPU total does the same, or, as on a real chip, keeps a counter of
  // its own that drifts from the sum by its own rounding.
  const int chip = m.chip;
  pCores_ = chip >= 3 ? 6 : 4;
  std::vector<int> eLeaves, pLeaves;
  int leaf = 0;
  for (int c = 0; c < eCores_; ++c) eLeaves.push_back(leaf++);
  for (int c = 0; c < pCores_; ++c) pLeaves.push_back(leaf++);
  if (chip >= 4) {
    leafPAcc_ = leaf++;
    leafMCpu_ = leaf++;
  }
  std::vector<int> cpuLeaves(static_cast<std::size_t>(leaf));
  for (int i = 0; i < leaf; ++i) cpuLeaves[static_cast<std::size_t>(i)] = i;
  leafGpu_ = leaf++;
  leafSram_ = leaf++;
  leafAne_ = leaf++;
  leafDram_ = leaf++;
  leafAve_ = leaf++;
  leafVdec_ = leaf++;
  leafIsp_ = leaf++;
  leafAmcc_ = leaf++;
  leafDisp_ = leaf++;
  leafPcie_ = leaf++;
  leafCount_ = static_cast<std::size_t>(leaf);

  using K = EnergyChannel::Kind;
  auto add = [&](std::string name, std::string unit, K kind, std::vector<int> leaves) {
    double perJoule = unit == "nJ" ? 1e9 : unit == "uJ" ? 1e6 : 1e3;
    channels_.push_back({std::move(name), std::move(unit), perJoule, kind, std::move(leaves)});
  };
  const std::string e = chip == 1 ? "ECPU" : "EACC_CPU";
  const std::string p = chip == 1 ? "PCPU" : "PACC0_CPU";
  for (int c = 0; c < eCores_; ++c) add(e + std::to_string(c), "mJ", K::leaf, {eLeaves[c]});
  for (int c = 0; c < pCores_; ++c) add(p + std::to_string(c), "mJ", K::leaf, {pLeaves[c]});
  add(e, "mJ", K::sumOfLeaves, eLeaves);
  add(p, "mJ", K::sumOfLeaves, pLeaves);
  if (chip >= 4) {
    add("PACC_0", "mJ", K::leaf, {leafPAcc_});
    add("MCPU0_0", "mJ", K::leaf, {leafMCpu_});
  }
  add("CPU Energy", "mJ", m.platform.cpuTotalOwnCounter ? K::totalOfLeaves : K::sumOfLeaves,
      cpuLeaves);
  add("GPU", "mJ", K::leaf, {leafGpu_});
  add("GPU SRAM0_0", "mJ", K::leaf, {leafSram_});
  add("GPU Energy", "nJ", K::totalOfLeaves, {leafGpu_, leafSram_});
  add("ANE0_0", "mJ", K::leaf, {leafAne_});
  add("DRAM0_0", "mJ", K::leaf, {leafDram_});
  add("AVE0_0", "mJ", K::leaf, {leafAve_});
  add("VDEC0_0", "mJ", K::leaf, {leafVdec_});
  add("ISP0_0", "mJ", K::leaf, {leafIsp_});
  add("AMCC0", "mJ", K::leaf, {leafAmcc_});
  add("DISP0_0", "uJ", K::leaf, {leafDisp_});
  add("apciec2 Energy", "uJ", K::leaf, {leafPcie_});

  for (Totals* t : {&at_, &rate_}) {
    t->cpu.assign(n, 0);
    t->gpu.assign(n, 0);
    t->leaves.assign(leafCount_, 0);
  }

  lidOpen_ = m.lidOpen;
  externalDisplay_ = m.externalDisplay;
  brightness_ = m.brightness;
  keyboard_ = m.keyboard;
  output_ = m.output;
  charger_ = m.charger;
  lowPower_ = m.lowPowerMode;
  for (const auto& d : m.usb) usb_[d.port] = d;
  batteryJ_ = pack_.energyAt(m.battery.percent / 100 * pack_.fullCharge());
  gaugeCharge_ = pack_.chargeAt(batteryJ_);

  // The timeline: process starts and ends, sleeps, events.
  for (std::size_t i = 0; i < n; ++i) {
    const SimProcess& proc = table_.processes[i];
    if (proc.start > 0) items_.push_back({proc.start, kStart, i});
    if (std::isfinite(proc.end) && proc.end > 0) items_.push_back({proc.end, kEnd, i});
  }
  for (std::size_t s = 0; s < scenario_.sleeps.size(); ++s) {
    const SleepPeriod& sleep = scenario_.sleeps[s];
    items_.push_back({sleep.at, kSleepStart, s});
    items_.push_back({sleep.at + sleep.seconds, kSleepEnd, s});
  }
  for (std::size_t j = 0; j < scenario_.events.size(); ++j) {
    if (scenario_.events[j].type != EventType::sleep) {
      items_.push_back({scenario_.events[j].at, kEvent, j});
    }
  }
  std::stable_sort(items_.begin(), items_.end(), [](const Item& a, const Item& b) {
    return a.t != b.t ? a.t < b.t : a.rank < b.rank;
  });
  while (nextItem_ < items_.size() && items_[nextItem_].t <= 0) applyItem(items_[nextItem_++]);
  rebuildLive();
  recomputeRates();
  // Start settled: the pack has been at this load for a while.
  avgBatteryW_ = batteryRate_;
  tempC_ = tempTarget_;
  chipC_ = chipTarget_;
  updateThermal();
}

}  // namespace ebbwise::sim

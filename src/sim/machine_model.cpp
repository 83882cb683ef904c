#include "sim/machine_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "sim/counter_random.h"

namespace ebbwise::sim {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kTemperatureSeconds = 900;  // the pack warms and cools slowly
constexpr double kAverageSeconds = 180;      // the system's battery-power average
constexpr double kEstimatingSeconds = 60;    // no time estimates this soon after a change
constexpr double kWakeFraction = 0.02;
// Low Power Mode caps the processor's and the graphics' clocks.
constexpr double kLowPowerCpu = 0.8;
constexpr double kLowPowerGpu = 0.85;
// Chip temperatures at which the thermal state rises to fair, serious and
// critical; it falls back only this much below each, so it does not flicker.
constexpr double kThermalSteps[] = {80, 95, 105};
constexpr double kThermalHysteresis = 5;
constexpr double kFinishRate = 0.2;        // optimised finish: at most 0.2 C
constexpr double kCapacitySpread = 0.024;  // estimates within ±1.2 % of the truth

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

double clamp01(double x) {
  return std::isfinite(x) ? std::clamp(x, 0.0, 1.0) : 0.0;
}

double nonNegative(double x) {
  return std::isfinite(x) ? std::max(x, 0.0) : 0.0;
}

void normalize(Load& l) {
  for (double* w : {&l.cpu, &l.gpu, &l.neuralEngine, &l.videoDecode, &l.videoEncode, &l.camera}) {
    *w = nonNegative(*w);
  }
  l.fluctuation = clamp01(l.fluctuation);
}

// A parsed scenario is already in shape; one built in code may not be. Keep
// every value in the range the model relies on (no negative power, no
// fluctuation that could make a slot's power negative), events in time order
// and sleeps sorted and apart.
Scenario normalized(Scenario s) {
  MachineSetup& m = s.machine;
  m.chip = std::clamp(m.chip, 1, 4);
  m.battery.percent =
      std::isfinite(m.battery.percent) ? std::clamp(m.battery.percent, 0.0, 100.0) : 50;
  m.brightness = clamp01(m.brightness);
  m.keyboard = clamp01(m.keyboard);
  m.backgroundDaemons = std::clamp(m.backgroundDaemons, 0, 5000);
  if (m.charger) m.charger->watts = nonNegative(m.charger->watts);
  for (auto& p : s.processes) {
    normalize(p.load);
    if (p.pid && (*p.pid < 0 || *p.pid > 99998)) p.pid.reset();
    if (p.gpuClients) p.gpuClients = std::clamp(*p.gpuClients, 0, 16);
  }
  for (auto& e : s.events) {
    if (e.type == EventType::plug) e.charger.watts = nonNegative(e.charger.watts);
    if (e.type == EventType::brightness || e.type == EventType::keyboard) {
      e.value = clamp01(e.value);
    }
  }
  std::stable_sort(s.events.begin(), s.events.end(),
                   [](const Event& a, const Event& b) { return a.at < b.at; });
  s.sleeps.clear();
  for (const auto& e : s.events) {
    if (e.type != EventType::sleep || !(e.value > 0)) continue;
    if (!s.sleeps.empty() && e.at < s.sleeps.back().at + s.sleeps.back().seconds) {
      auto& last = s.sleeps.back();
      last.seconds = std::max(last.seconds, e.at + e.value - last.at);
    } else {
      s.sleeps.push_back({e.at, e.value});
    }
  }
  return s;
}

}  // namespace

MachineModel::MachineModel(Scenario scenario, sys::Clock& clock)
    : scenario_(normalized(std::move(scenario))),
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

std::unique_lock<std::mutex> MachineModel::sync() {
  std::unique_lock lock(mutex_);
  advanceTo(clock_.now() - start_);
  return lock;
}

void MachineModel::advanceTo(double t) {
  if (!(t > t_)) return;  // the model never goes back
  while (tNext_ <= t) commitTo(tNext_);
  t_ = t;
}

void MachineModel::commitTo(double tn) {
  const double dt = tn - tb_;
  if (dt > 0) {
    for (std::size_t k = 0; k < kPartCount; ++k) at_.parts[k] += rate_.parts[k] * dt;
    at_.system += rate_.system * dt;
    at_.charger += rate_.charger * dt;
    at_.batteryOut += rate_.batteryOut * dt;
    at_.batteryIn += rate_.batteryIn * dt;
    for (int i : live_) {
      auto k = static_cast<std::size_t>(i);
      at_.cpu[k] += rate_.cpu[k] * dt;
      at_.gpu[k] += rate_.gpu[k] * dt;
    }
    for (std::size_t k = 0; k < leafCount_; ++k) at_.leaves[k] += rate_.leaves[k] * dt;
    batteryJ_ += batteryRate_ * dt;
    tempC_ = tempTarget_ + (tempC_ - tempTarget_) * std::exp(-dt / kTemperatureSeconds);
    chipC_ = chipTarget_ + (chipC_ - chipTarget_) * std::exp(-dt / scenario_.machine.heat.seconds);
    avgBatteryW_ = batteryRate_ + (avgBatteryW_ - batteryRate_) * std::exp(-dt / kAverageSeconds);
  }
  tb_ = tn;
  t_ = std::max(t_, tn);
  const double full = pack_.fullEnergy();
  if (tn >= crossing_) {
    if (batteryRate_ > 0 && flat_) {
      batteryJ_ = std::max(batteryJ_, kWakeFraction * full);
      setFlat(false, tn);
    } else if (batteryRate_ > 0) {
      // Full, or at the level an optimised charge holds.
      batteryJ_ = ceiling_;
      if (ceiling_ >= full) fullHold_ = true;
    } else if (batteryRate_ < 0) {
      batteryJ_ = 0;
      setFlat(true, tn);
    }
  }
  batteryJ_ = std::clamp(batteryJ_, 0.0, full);
  if (!asleep_ && std::fmod(tn, kGaugeSeconds) == 0) gaugeCharge_ = pack_.chargeAt(batteryJ_);
  updateThermal();
  while (nextItem_ < items_.size() && items_[nextItem_].t <= tn) applyItem(items_[nextItem_++]);
  recomputeRates();
}

bool MachineModel::holdPhase() const {
  return charger_ && charger_->holdSeconds && tb_ < pluggedAt_ + *charger_->holdSeconds;
}

bool MachineModel::finishPhase() const {
  return charger_ && charger_->holdSeconds && !holdPhase() && !fullHold_;
}

void MachineModel::applyItem(const Item& item) {
  switch (item.rank) {
    case kEnd:
      // A killed process already ended earlier.
      if (table_.processes[item.index].end == item.t) endProcess(item.index);
      break;
    case kStart:
      rebuildLive();
      break;
    case kSleepStart:
      asleep_ = true;
      break;
    case kSleepEnd:
      asleep_ = false;
      lastWake_ = item.t;
      gaugeCharge_ = pack_.chargeAt(batteryJ_);
      break;
    case kEvent:
      applyEvent(scenario_.events[item.index]);
      break;
  }
}

void MachineModel::applyEvent(const Event& e) {
  switch (e.type) {
    case EventType::plug:
      charger_ = e.charger;
      lastSwitch_ = tb_;
      pluggedAt_ = tb_;
      fullHold_ = false;
      break;
    case EventType::unplug:
      if (charger_) lastSwitch_ = tb_;
      charger_.reset();
      fullHold_ = false;
      break;
    case EventType::sleep:
      break;  // a timeline item of its own
    case EventType::lid:
      lidOpen_ = e.flag;
      break;
    case EventType::display:
      displayAsleep_ = e.flag;
      break;
    case EventType::brightness:
      brightness_ = e.value;
      break;
    case EventType::keyboard:
      keyboard_ = e.value;
      break;
    case EventType::output:
      output_ = e.output;
      break;
    case EventType::usbAttach:
      usb_[e.device.port] = e.device;
      break;
    case EventType::usbDetach:
      usb_.erase(e.device.port);
      break;
    case EventType::externalDisplay:
      externalDisplay_ = e.flag;
      break;
    case EventType::load:
      for (std::size_t i = 0; i < table_.processes.size(); ++i) {
        if (inGroup(table_.processes[i].id, e.process)) {
          e.change.applyTo(loads_[i]);
          normalize(loads_[i]);
        }
      }
      break;
    case EventType::lowPower:
      lowPower_ = e.lowPower;
      break;
    case EventType::activate:
    case EventType::fullscreen:
      break;  // the desktop's business; power does not change
  }
}

void MachineModel::endProcess(std::size_t i) {
  rate_.cpu[i] = 0;
  rate_.gpu[i] = 0;
  rebuildLive();
}

void MachineModel::setFlat(bool flat, double at) {
  if (flat == flat_) return;
  flat_ = flat;
  if (flat) {
    hibernations_.push_back({at, kInfinity});
    return;
  }
  SleepPeriod& last = hibernations_.back();
  last.seconds = at - last.at;
  lastWake_ = at;
  gaugeCharge_ = pack_.chargeAt(batteryJ_);
  // The tick counter stood still meanwhile, so everything that starts from
  // the hibernation on is stamped that much earlier.
  for (std::size_t i = 0; i < startTicks_.size(); ++i) {
    if (table_.processes[i].start >= last.at) startTicks_[i] = ticksAt(table_.processes[i].start);
  }
}

void MachineModel::rebuildLive() {
  for (int i : live_)
    pidMap_[static_cast<std::size_t>(table_.processes[static_cast<std::size_t>(i)].pid)] = -1;
  live_.clear();
  for (std::size_t i = 0; i < table_.processes.size(); ++i) {
    if (table_.processes[i].aliveAt(tb_)) live_.push_back(static_cast<int>(i));
  }
  // The kernel lists the newest process first.
  std::sort(live_.begin(), live_.end(), [&](int a, int b) {
    double sa = table_.processes[static_cast<std::size_t>(a)].start;
    double sb = table_.processes[static_cast<std::size_t>(b)].start;
    return sa != sb ? sa > sb : a > b;
  });
  for (int i : live_)
    pidMap_[static_cast<std::size_t>(table_.processes[static_cast<std::size_t>(i)].pid)] = i;
}

double MachineModel::slotWatts(double mean, const Load& load, std::size_t i, std::int64_t slot,
                               std::uint64_t salt) const {
  if (mean <= 0) return 0;
  const std::uint64_t seed = scenario_.machine.seed;
  const auto s = static_cast<std::uint64_t>(slot);
  if (load.pattern == LoadPattern::bursty) {
    // Idle, with a burst in about one slot of eight; the mean stays `mean`.
    constexpr double p = 0.12;
    double u = CounterRandom::unit(seed, salt, i, s);
    return u < p ? mean / p * (0.5 + u / p) : 0;
  }
  if (load.fluctuation <= 0) return mean;
  // A slow swing of activity shared by the process's CPU and GPU work, and a
  // fast flicker of each; both symmetric, so the mean stays `mean`.
  double slow = 2 * CounterRandom::unit(seed, kActivity, i, s / 30) - 1;
  double fast = 2 * CounterRandom::unit(seed, salt, i, s) - 1;
  return mean * (1 + load.fluctuation * (0.6 * slow + 0.4 * fast));
}

double MachineModel::burst(double mean, std::uint64_t salt, std::int64_t slot) const {
  // Now and then a slot with a short burst (the disk writing, a radio
  // scanning), a tenth of a watt or so over the slot; the mean over many
  // slots stays `mean`.
  constexpr double p = 0.1;
  if (mean <= 0) return 0;
  double u = CounterRandom::unit(scenario_.machine.seed, salt, 0, static_cast<std::uint64_t>(slot));
  return u < p ? mean / p * (0.5 + u / p) : 0;
}

void MachineModel::recomputeRates() {
  const PartPowers& w = scenario_.machine.power;
  const double full = pack_.fullEnergy();
  if (!charger_ && batteryJ_ <= 0) setFlat(true, tb_);
  if (flat_ && charger_ && batteryJ_ >= kWakeFraction * full) setFlat(false, tb_);
  if (fullHold_ && batteryJ_ < 0.95 * full) fullHold_ = false;
  if (charger_ && batteryJ_ >= full * (1 - 1e-12)) fullHold_ = true;

  const bool on = awake();
  const bool lowPower = lowPowerMode();
  const auto slot = static_cast<std::int64_t>(std::floor(tb_ / kSlotSeconds));
  PartArray parts{};
  auto part = [&](Part p) -> double& { return parts[static_cast<std::size_t>(p)]; };
  double cpuE = 0, cpuP = 0, decode = 0, encode = 0, camera = 0;
  bool hold = false, play = false;
  const double displayActivity = (builtInDisplayOn() || (on && externalDisplay_)) ? 1.0 : 0.05;
  for (int i : live_) {
    auto k = static_cast<std::size_t>(i);
    double c = 0, g = 0;
    if (on) {
      const Load& l = loads_[k];
      c = slotWatts(l.cpu, l, k, slot, kCpuFast);
      g = slotWatts(l.gpu, l, k, slot, kGpuFast);
      if (lowPower) {
        c *= kLowPowerCpu;
        g *= kLowPowerGpu;
      }
      if (table_.processes[k].compositor) g *= displayActivity;
      part(Part::neuralEngine) += l.neuralEngine;
      decode += l.videoDecode;
      encode += l.videoEncode;
      camera += l.camera;
      hold = hold || l.audio != AudioUse::none;
      play = play || l.audio == AudioUse::play;
      double e = table_.processes[k].efficiencyShare;
      cpuE += c * e;
      cpuP += c * (1 - e);
    }
    rate_.cpu[k] = c;
    rate_.gpu[k] = g;
    part(Part::cpu) += c;
    part(Part::gpu) += g;
  }
  part(Part::video) = decode + encode + camera;

  double displayEngine = 0, pcie = 0;
  if (on) {
    const bool builtIn = builtInDisplayOn();
    part(Part::memory) =
        w.memoryBase + 0.06 * part(Part::cpu) + 0.1 * part(Part::gpu) + 0.05 * part(Part::video);
    displayEngine = (builtIn || externalDisplay_) ? w.displayEngine : 0;
    pcie = 0.015 + 0.02 * static_cast<double>(usb_.size());
    part(Part::chip) = w.chipIdle + displayEngine + pcie;
    if (builtIn) {
      part(Part::screen) = w.screenMin + (w.screenMax - w.screenMin) * std::pow(brightness_, 1.9);
      if (scenario_.machine.platform.keyboardBacklight) {
        part(Part::keyboard) = w.keyboardMax * std::pow(keyboard_, 1.4);
      }
    }
    if (hold) {
      part(Part::speakers) = output_ == AudioOutput::speakers
                                 ? w.speakersHold + (play ? w.speakersPlay : 0)
                             : output_ == AudioOutput::headphones ? w.headphones
                                                                  : 0;
    }
    double u =
        CounterRandom::unit(scenario_.machine.seed, kWifi, 0, static_cast<std::uint64_t>(slot));
    part(Part::wifi) = w.wifi * (1 + 0.3 * (2 * u - 1)) + burst(w.radioBursts, kRadioBurst, slot);
    part(Part::board) = w.board + (externalDisplay_ ? w.externalDisplay : 0) +
                        burst(w.storageBursts, kStorageBurst, slot);
  } else if (asleep_ && !flat_) {
    part(Part::sleep) = w.sleep;
  }
  // The ports keep powering devices in sleep only from a charger.
  if (on || (asleep_ && !flat_ && charger_)) {
    for (const auto& [port, device] : usb_) part(Part::usbC) += device.watts;
  }

  double load = 0;
  for (double x : parts) load += x;
  // The charger feeds the system first; what is left charges the battery,
  // and a few percent of the charging power turns into heat.
  double chargeW = 0, loss = 0, chargerW = 0;
  ceiling_ = full;
  if (holdPhase()) ceiling_ = std::min(full, pack_.energyAt(kHeldFraction * pack_.fullCharge()));
  const bool held = holdPhase() && batteryJ_ >= ceiling_ * (1 - 1e-12);
  if (charger_) {
    const double available = charger_->watts;
    if (load <= available) {
      if (!fullHold_ && !held) {
        chargeW = std::min(pack_.maxChargeWatts(pack_.chargeAt(batteryJ_)),
                           (available - load) / (1 + w.chargingLoss));
        if (finishPhase()) chargeW = std::min(chargeW, kFinishRate * full / 3600);
      }
      loss = w.chargingLoss * chargeW;
      chargerW = load + chargeW + loss;
    } else {
      chargerW = available;
    }
  }
  part(Part::chargingLoss) = loss;
  rate_.parts = parts;
  rate_.system = load + loss;
  rate_.charger = chargerW;
  batteryRate_ = chargerW - rate_.system;
  rate_.batteryOut = std::max(0.0, -batteryRate_);
  rate_.batteryIn = std::max(0.0, batteryRate_);

  // Leaves of the energy channels.
  auto& leaves = rate_.leaves;
  std::fill(leaves.begin(), leaves.end(), 0.0);
  const std::uint64_t seed = scenario_.machine.seed;
  if (leafMCpu_ >= 0) {
    leaves[static_cast<std::size_t>(leafMCpu_)] = 0.04 * (cpuE + cpuP);
    cpuE *= 0.96;
    cpuP *= 0.96;
    leaves[static_cast<std::size_t>(leafPAcc_)] = 0.05 * cpuP;
    cpuP *= 0.95;
  }
  auto spread = [&](double watts, int first, int count) {
    double weights[8], sum = 0;
    for (int c = 0; c < count; ++c) {
      weights[c] =
          0.3 + CounterRandom::unit(seed, kCoreSplit, static_cast<std::uint64_t>(first + c),
                                    static_cast<std::uint64_t>(slot));
      sum += weights[c];
    }
    for (int c = 0; c < count; ++c)
      leaves[static_cast<std::size_t>(first + c)] = watts * weights[c] / sum;
  };
  spread(cpuE, 0, eCores_);
  spread(cpuP, eCores_, pCores_);
  leaves[static_cast<std::size_t>(leafGpu_)] = 0.88 * part(Part::gpu);
  leaves[static_cast<std::size_t>(leafSram_)] = 0.12 * part(Part::gpu);
  leaves[static_cast<std::size_t>(leafAne_)] = part(Part::neuralEngine);
  leaves[static_cast<std::size_t>(leafDram_)] = part(Part::memory);
  leaves[static_cast<std::size_t>(leafAve_)] = encode;
  leaves[static_cast<std::size_t>(leafVdec_)] = decode;
  leaves[static_cast<std::size_t>(leafIsp_)] = camera;
  leaves[static_cast<std::size_t>(leafAmcc_)] = on ? w.chipIdle : 0;
  leaves[static_cast<std::size_t>(leafDisp_)] = displayEngine;
  leaves[static_cast<std::size_t>(leafPcie_)] = pcie;

  tempTarget_ = scenario_.machine.battery.ambientC + 0.22 * rate_.system + 0.12 * chargeW;
  chipTarget_ = scenario_.machine.battery.ambientC + scenario_.machine.heat.perWatt * rate_.system;

  // The next boundary.
  double next = kInfinity;
  if (on) next = static_cast<double>(slot + 1) * kSlotSeconds;
  if (nextItem_ < items_.size()) next = std::min(next, items_[nextItem_].t);
  if (holdPhase()) next = std::min(next, pluggedAt_ + *charger_->holdSeconds);
  crossing_ = kInfinity;
  if (batteryRate_ > 0) {
    double target = flat_ ? kWakeFraction * full : ceiling_;
    if (batteryJ_ < target) crossing_ = tb_ + (target - batteryJ_) / batteryRate_;
  } else if (batteryRate_ < 0 && batteryJ_ > 0) {
    crossing_ = tb_ + batteryJ_ / -batteryRate_;
  }
  tNext_ = std::min(next, crossing_);
}

int MachineModel::liveIndex(sys::Pid pid) const {
  if (pid < 0 || static_cast<std::size_t>(pid) >= pidMap_.size()) return -1;
  return pidMap_[static_cast<std::size_t>(pid)];
}

double MachineModel::startDate(int i) const {
  return (start_ + table_.processes[static_cast<std::size_t>(i)].start).secondsSince1970;
}

double MachineModel::cpuJoules(int i) const {
  auto k = static_cast<std::size_t>(i);
  return at_.cpu[k] + rate_.cpu[k] * elapsed();
}

double MachineModel::gpuJoules(int i) const {
  auto k = static_cast<std::size_t>(i);
  return at_.gpu[k] + rate_.gpu[k] * elapsed();
}

std::uint64_t MachineModel::energyNJ(int i) const {
  double joules = table_.processes[static_cast<std::size_t>(i)].energyBeforeStart + cpuJoules(i);
  return static_cast<std::uint64_t>(joules * 1e9);
}

std::uint64_t MachineModel::gpuTimeNs(int i, int client) const {
  const SimProcess& p = table_.processes[static_cast<std::size_t>(i)];
  const int n = p.gpuClients;
  if (client < 0 || client >= n) return 0;
  double seconds = p.gpuSecondsBeforeStart + gpuJoules(i) / kGpuReferenceWatts;
  // The first client does most of the work.
  double share = static_cast<double>(n - client) / (n * (n + 1) / 2.0);
  return static_cast<std::uint64_t>(seconds * share * 1e9);
}

sys::Pid MachineModel::parentPid(int i) const {
  int parent = table_.processes[static_cast<std::size_t>(i)].parent;
  if (parent < 0) return 0;
  const SimProcess& p = table_.processes[static_cast<std::size_t>(parent)];
  // An orphan belongs to launchd.
  return p.aliveAt(t_) ? p.pid : 1;
}

bool MachineModel::runningOutput(int i) const {
  return awake() && table_.processes[static_cast<std::size_t>(i)].aliveAt(t_) &&
         loads_[static_cast<std::size_t>(i)].audio != AudioUse::none;
}

bool MachineModel::kill(int i) {
  auto k = static_cast<std::size_t>(i);
  if (k >= table_.processes.size() || !table_.processes[k].aliveAt(t_)) return false;
  commitTo(t_);
  table_.processes[k].end = t_;
  endProcess(k);
  recomputeRates();
  return true;
}

void MachineModel::setBrightness(double level) {
  commitTo(t_);
  brightness_ = clamp01(level);
  recomputeRates();
}

void MachineModel::setOwnAudio(AudioUse use) {
  if (table_.own < 0) return;
  auto k = static_cast<std::size_t>(table_.own);
  commitTo(t_);
  loads_[k].audio = use;
  if (use != AudioUse::none) audioClient_[k] = true;
  recomputeRates();
}

void MachineModel::setKeyboardLevel(double level) {
  commitTo(t_);
  keyboard_ = clamp01(level);
  recomputeRates();
}

bool MachineModel::lowPowerMode() const {
  switch (lowPower_) {
    case LowPowerSetting::never:
      return false;
    case LowPowerSetting::always:
      return true;
    case LowPowerSetting::onBattery:
      return !charger_;
    case LowPowerSetting::onAdapter:
      return charger_.has_value();
  }
  return false;
}

void MachineModel::setLowPowerSetting(LowPowerSetting setting) {
  commitTo(t_);
  lowPower_ = setting;
  recomputeRates();
}

double MachineModel::chipTemperatureC() const {
  return chipTarget_ +
         (chipC_ - chipTarget_) * std::exp(-elapsed() / scenario_.machine.heat.seconds);
}

void MachineModel::updateThermal() {
  // Judged at the machine's boundaries (every slot while awake), as the
  // system samples its sensors.
  while (thermal_ < 3 && chipC_ >= kThermalSteps[thermal_]) ++thermal_;
  while (thermal_ > 0 && chipC_ < kThermalSteps[thermal_ - 1] - kThermalHysteresis) --thermal_;
}

double MachineModel::batteryJoules() const {
  return std::clamp(batteryJ_ + batteryRate_ * elapsed(), 0.0, pack_.fullEnergy());
}

double MachineModel::charge() const {
  return pack_.chargeAt(batteryJoules());
}

double MachineModel::temperatureC() const {
  return tempTarget_ + (tempC_ - tempTarget_) * std::exp(-elapsed() / kTemperatureSeconds);
}

bool MachineModel::chargeHeld() const {
  return holdPhase() && batteryJ_ >= ceiling_ * (1 - 1e-9) && batteryRate_ <= 0;
}

bool MachineModel::finishingCharge() const {
  return finishPhase();
}

double MachineModel::capacityEstimate(int which) const {
  const auto period = static_cast<std::uint64_t>(std::max(0.0, std::floor(t_ / kCapacitySeconds)));
  const double u = CounterRandom::unit(scenario_.machine.seed, kCapacity,
                                       static_cast<std::uint64_t>(which), period);
  return pack_.fullMAh() * (1 + kCapacitySpread * (u - 0.5));
}

bool MachineModel::estimating() const {
  return t_ - lastSwitch_ < kEstimatingSeconds || t_ - lastWake_ < kEstimatingSeconds;
}

std::optional<double> MachineModel::systemMinutesToEmpty() const {
  if (charger_ || estimating()) return std::nullopt;
  double avg =
      batteryRate_ + (avgBatteryW_ - batteryRate_) * std::exp(-elapsed() / kAverageSeconds);
  if (avg > -0.1) return std::nullopt;
  return batteryJoules() / -avg / 60;
}

std::optional<double> MachineModel::systemMinutesToFull() const {
  if (!charger_ || estimating()) return std::nullopt;
  if (fullHold_) return 0.0;
  if (batteryRate_ <= 0) return std::nullopt;
  // Walk the charging taper at today's load, in a few dozen steps.
  const double loss = scenario_.machine.power.chargingLoss;
  const double headroom =
      (charger_->watts - (rate_.system - partWatts(Part::chargingLoss))) / (1 + loss);
  double e = batteryJoules(), seconds = 0;
  const double full = pack_.fullEnergy();
  const double step = full / 50;
  while (e < full) {
    double de = std::min(step, full - e);
    double watts = std::min(pack_.maxChargeWatts(pack_.chargeAt(e)), headroom);
    if (watts <= 0) return std::nullopt;
    seconds += de / watts;
    e += de;
  }
  return seconds / 60;
}

std::int64_t MachineModel::channelValue(std::size_t c) const {
  const EnergyChannel& ch = channels_[c];
  auto leaf = [&](int l) {
    auto k = static_cast<std::size_t>(l);
    return at_.leaves[k] + rate_.leaves[k] * elapsed();
  };
  switch (ch.kind) {
    case EnergyChannel::Kind::leaf:
      return static_cast<std::int64_t>(leaf(ch.leaves[0]) * ch.perJoule);
    case EnergyChannel::Kind::sumOfLeaves: {
      std::int64_t sum = 0;
      for (int l : ch.leaves) sum += static_cast<std::int64_t>(leaf(l) * ch.perJoule);
      return sum;
    }
    case EnergyChannel::Kind::totalOfLeaves: {
      double sum = 0;
      for (int l : ch.leaves) sum += leaf(l);
      return static_cast<std::int64_t>(sum * ch.perJoule);
    }
  }
  return 0;
}

double MachineModel::sleepBefore(double t) const {
  // Sleeps and hibernations may overlap (the battery can run out during a
  // sleep); the counter stands still over their union.
  std::vector<std::pair<double, double>> spans;
  for (const auto* list : {&scenario_.sleeps, &hibernations_}) {
    for (const SleepPeriod& s : *list) {
      if (s.at >= t) break;
      spans.emplace_back(s.at, std::min(t, s.at + s.seconds));
    }
  }
  std::sort(spans.begin(), spans.end());
  double total = 0, covered = -kInfinity;
  for (const auto& [from, to] : spans) {
    const double begin = std::max(from, covered);
    if (to > begin) total += to - begin;
    covered = std::max(covered, to);
  }
  return total;
}

std::uint64_t MachineModel::ticksAt(double t) const {
  if (t >= 0) return ticks0_ + timebase_.secondsToTicks(t - sleepBefore(t));
  std::uint64_t back = timebase_.secondsToTicks(-t);
  return back < ticks0_ ? ticks0_ - back : 1;
}

TruthSnapshot MachineModel::truth() const {
  TruthSnapshot s;
  const double e = elapsed();
  s.at = date();
  s.seconds = t_;
  s.systemJoules = at_.system + rate_.system * e;
  s.chargerJoules = at_.charger + rate_.charger * e;
  s.batteryOutJoules = at_.batteryOut + rate_.batteryOut * e;
  s.batteryInJoules = at_.batteryIn + rate_.batteryIn * e;
  for (std::size_t k = 0; k < kPartCount; ++k) s.parts[k] = at_.parts[k] + rate_.parts[k] * e;

  std::vector<int> order;
  for (std::size_t i = 0; i < table_.processes.size(); ++i) {
    const SimProcess& p = table_.processes[i];
    if (p.start <= t_ && p.end > 0) order.push_back(static_cast<int>(i));
  }
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return table_.processes[static_cast<std::size_t>(a)].start <
           table_.processes[static_cast<std::size_t>(b)].start;
  });
  s.processes.reserve(order.size());
  for (int i : order) {
    const SimProcess& p = table_.processes[static_cast<std::size_t>(i)];
    ProcessTruth q{p.pid, startTicks(i), p.path, p.row, cpuJoules(i), gpuJoules(i), p.aliveAt(t_)};
    q.billable = p.pid != 0 && !p.restricted;
    if (!p.row.empty()) {
      RowTruth& row = s.rows[p.row];
      row.cpuJoules += q.cpuJoules;
      row.gpuJoules += q.gpuJoules;
    }
    s.processes.push_back(std::move(q));
  }

  s.batteryJoules = batteryJoules();
  const double charge = pack_.chargeAt(s.batteryJoules);
  s.batteryPercent = charge / pack_.fullCharge() * 100;
  s.chargeMAh = charge / 3.6;
  s.fullMAh = pack_.fullMAh();
  s.voltage = pack_.voltageAt(charge);
  s.systemWatts = rate_.system;
  s.batteryWatts = batteryRate_;
  return s;
}

void MachineModel::rowSnapshot(RowSnapshot& out) const {
  out.seconds = t_;
  out.systemJoules = at_.system + rate_.system * elapsed();
  for (std::size_t k = 0; k < kPartCount; ++k)
    out.parts[k] = at_.parts[k] + rate_.parts[k] * elapsed();
  out.rows.assign(table_.rowNames.size(), RowTruth{});
  // Processes that have not started yet hold nothing, and ended ones keep
  // what they used, so summing every process is the same as summing those
  // that ran.
  for (std::size_t i = 0; i < table_.processes.size(); ++i) {
    const int row = table_.processes[i].rowIndex;
    if (row < 0) continue;
    RowTruth& sum = out.rows[static_cast<std::size_t>(row)];
    sum.cpuJoules += cpuJoules(static_cast<int>(i));
    sum.gpuJoules += gpuJoules(static_cast<int>(i));
  }
}

double MachineModel::trueMinutesToEmpty() const {
  if (batteryRate_ >= 0) return kInfinity;
  return batteryJoules() / -batteryRate_ / 60;
}

}  // namespace ebbwise::sim

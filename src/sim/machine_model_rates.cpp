#include "sim/machine_model.h"

#include <algorithm>
#include <cmath>

#include "sim/counter_random.h"
#include "sim/machine_model_constants.h"

// The powers between two boundaries: each process's draw in the present
// time slot, the hardware's, the charger's share and the energy channels'
// leaves, and when the next boundary comes.

namespace ebbwise::sim {

using namespace MachineModelConstants;

namespace {

// Low Power Mode caps the processor's and the graphics' clocks.
constexpr double kLowPowerCpu = 0.8;
constexpr double kLowPowerGpu = 0.85;
constexpr double kFinishRate = 0.2;  // optimised finish: at most 0.2 C

}  // namespace

bool MachineModel::holdPhase() const {
  return charger_ && charger_->holdSeconds && tb_ < pluggedAt_ + *charger_->holdSeconds;
}

bool MachineModel::finishPhase() const {
  return charger_ && charger_->holdSeconds && !holdPhase() && !fullHold_;
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

}  // namespace ebbwise::sim

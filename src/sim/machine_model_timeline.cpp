#include "sim/machine_model.h"

#include <algorithm>
#include <cmath>

#include "sim/machine_model_constants.h"
#include "sim/normalized_scenario.h"

// Stepping through time: committing the energies at each boundary, applying
// the timeline's items and the changes made from outside, and the state
// changes that follow (processes ending, the battery running flat).

namespace ebbwise::sim {

using namespace MachineModelConstants;

namespace {

// Chip temperatures at which the thermal state rises to fair, serious and
// critical; it falls back only this much below each, so it does not flicker.
constexpr double kThermalSteps[] = {80, 95, 105};
constexpr double kThermalHysteresis = 5;

}  // namespace

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
          loads_[i] = normalizedLoad(loads_[i]);
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

void MachineModel::updateThermal() {
  // Judged at the machine's boundaries (every slot while awake), as the
  // system samples its sensors.
  while (thermal_ < 3 && chipC_ >= kThermalSteps[thermal_]) ++thermal_;
  while (thermal_ > 0 && chipC_ < kThermalSteps[thermal_ - 1] - kThermalHysteresis) --thermal_;
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

void MachineModel::setLowPowerSetting(LowPowerSetting setting) {
  commitTo(t_);
  lowPower_ = setting;
  recomputeRates();
}

}  // namespace ebbwise::sim

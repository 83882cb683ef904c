#include "sim/machine_model.h"

#include <algorithm>
#include <cmath>

#include "sim/counter_random.h"
#include "sim/machine_model_constants.h"

// What the machine reads at the instant being answered: every counter is its
// value at the last boundary plus its rate times the time since.

namespace ebbwise::sim {

using namespace MachineModelConstants;

namespace {

constexpr double kEstimatingSeconds = 60;  // no time estimates this soon after a change
constexpr double kCapacitySpread = 0.024;  // estimates within ±1.2 % of the truth

}  // namespace

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

double MachineModel::chipTemperatureC() const {
  return chipTarget_ +
         (chipC_ - chipTarget_) * std::exp(-elapsed() / scenario_.machine.heat.seconds);
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

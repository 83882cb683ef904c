#include "accounting/tracker.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace ebbwise {

namespace {

// A tick this long after the previous one (or later) follows a sleep or a
// stall: its energy is not spread over the time that passed.
constexpr double kGapSeconds = 15.0;
// A session found in the history is adopted only when its last row is newer than this.
constexpr double kRestoreWithin = 900.0;
// A system meter reading over less time than this is too coarse to use.
constexpr double kShortestSystemReading = 1.0;

// A reading with a figure that is not finite would poison every sum it joins
// (the session's energy for the rest of the stretch), so it counts as none.
std::optional<SystemEnergy> usable(std::optional<SystemEnergy> sys) {
  if (sys && std::isfinite(sys->joules) && std::isfinite(sys->inJoules) &&
      std::isfinite(sys->seconds) && sys->seconds >= kShortestSystemReading) {
    return sys;
  }
  return std::nullopt;
}

std::optional<ChipEnergy> usable(std::optional<ChipEnergy> chip) {
  if (chip && std::isfinite(chip->total())) return chip;
  return std::nullopt;
}

}  // namespace

Tracker::Tracker(std::unique_ptr<Store> store, sys::Date now, std::uint64_t countFromZeroAfter,
                 TrackerReaders readers)
    : store_(store ? std::move(store) : std::make_unique<Store>()),
      energy_(countFromZeroAfter),
      identify_(std::move(readers.identify)),
      readChip_(std::move(readers.readChip)),
      readGPU_(std::move(readers.readGPU)),
      readSystem_(std::move(readers.readSystem)) {
  bundlePaths_ = store_->bundlePaths();
  store_->deleteOlderThan(now.secondsSince1970 - keepHistory);
  restored_ = restoreSession(*store_, now);
}

std::optional<Session> Tracker::restoreSession(Store& store, sys::Date now) {
  auto last = store.lastRecord();
  if (!last || last->onAC || now.secondsSince1970 - last->ts >= kRestoreWithin) {
    return std::nullopt;
  }
  double pluggedTs = store.lastPluggedIn().value_or(0.0);
  auto first = store.firstOnBattery(pluggedTs);
  if (!first) return std::nullopt;
  Session session{
      sys::Date{first->ts - first->dt}, first->percent, store.drainedJoules(pluggedTs), {}, {}};
  for (auto& [app, joules] : store.appJoulesOnBattery(pluggedTs)) {
    session.appJoules.emplace(app, joules);
  }
  return session;
}

std::vector<HeavyAppAlert> Tracker::tick(sys::Date now, const BatteryReading& battery,
                                         const std::vector<ProcessSample>& samples) {
  // A date that is not a number cannot be placed in time: like a tick that
  // comes too late it is not accounted, and it does not even move the clock,
  // so the next good tick is measured from the last good one.
  if (!std::isfinite(now.secondsSince1970)) return {};
  const double dt = lastTick_ ? now - *lastTick_ : 0.0;
  const bool gap = dt <= 0 || dt >= kGapSeconds;
  const bool sameInstant = lastTick_ && dt == 0;
  lastTick_ = now;
  battery_ = battery;

  // Whole-system power; without the meter the battery's own discharge rate.
  const std::optional<SystemEnergy> sys = usable(readSystem_ ? readSystem_() : std::nullopt);
  const double used = sys ? sys->joules / sys->seconds : std::max(0.0, -battery.watts);

  std::unordered_map<ProcessKey, double> deltas = energy_.deltas(samples);
  // Whether a process of the previous scan is gone from this one. The
  // per-process window only ever holds processes of the previous scan, so
  // without a departure, dropping everything outside this scan changes
  // nothing. A key listed twice counts as a departure, to be safe.
  const bool departed = energy_.lostOrRepeated();

  const std::optional<ChipEnergy> chip = usable(readChip_ ? readChip_() : std::nullopt);
  const double billed =
      billGraphics(chip, readGPU_ ? readGPU_() : std::unordered_map<std::int32_t, std::uint64_t>{},
                   samples, deltas);

  Joules appJoules;
  appJoules.reserve(nowApps_.values().size() + 8);
  for (const auto& [key, joules] : deltas) appJoules[identity(key).name] += joules;
  Joules appGraphics;
  for (const auto& [key, joules] : billedShares_) appGraphics[identity(key).name] += joules;

  // The live set serves both the identity cache's pruning and the per-process window.
  std::unordered_set<ProcessKey> live;
  const bool prune = names_.size() > 2 * samples.size();
  if (prune || (departed && !gap)) {
    live.reserve(samples.size());
    for (const auto& sample : samples) live.insert(sample.key);
  }
  if (prune) std::erase_if(names_, [&](const auto& entry) { return !live.contains(entry.first); });

  const bool switched = wasOnAC_ && *wasOnAC_ != battery.onAC;
  lastTickDate_ = now;
  if (switched) {
    lastSwitch_ = now;
    quickDrain_.reset();
  }

  if (!battery.onAC) {
    if (!wasOnAC_ || *wasOnAC_) {
      // First tick (adopt the interrupted session, if any) or just unplugged.
      std::optional<Session> candidate = wasOnAC_ ? std::nullopt : std::move(restored_);
      session_ = candidate ? std::move(*candidate) : Session{now, battery.percent, 0.0, {}, {}};
      restored_.reset();
      nowDrain_.reset();
      longDrain_.reset();
    }
  } else if (wasOnAC_ && !*wasOnAC_) {
    nowDrain_.reset();
  }
  wasOnAC_ = battery.onAC;

  if (gap) {
    // Nothing of this tick is measured: the previous tick's off-chip figure
    // must not be taken for this one's.
    lastOffChipWatts_.reset();
    // A second tick at the same instant (a power-source change landing on
    // the timer's tick) measured nothing, but nothing was missed either:
    // restarting the live windows for it would show every app at 0 W and
    // hold back heavy-app checks for a minute.
    if (sameInstant) return {};
    nowApps_.reset();
    nowProcesses_.reset();
    nowDrain_.reset();
    nowChip_.reset();
    minuteApps_.reset();
    return {};
  }

  // Only a system meter reading can be set against the chip's energy: without
  // one `used` is the battery's coarse rate, 0 on the charger, and the
  // difference would show a step in off-chip power that never happened.
  lastOffChipWatts_ = chip && sys ? std::optional<double>(used - chip->total() / dt) : std::nullopt;
  lastChargeWatts_ = sys && battery.onAC ? std::max(0.0, sys->inJoules / sys->seconds - used) : 0.0;

  if (chip) {
    hasChipData_ = true;
    nowChip_.add({{"processor", chip->processor},
                  {"graphics", chip->graphics},
                  {"video", chip->video},
                  {"memoryAndChip", chip->memoryAndChip},
                  {"billedGraphics", billed}},
                 dt);
  }

  nowApps_.add(appJoules, dt);
  nowProcesses_.add(std::move(deltas), dt);
  if (departed) nowProcesses_.keep(live);

  Joules drains;
  if (sys) {
    hasSystemSensor_ = true;
    drains.emplace("used", dt * used);
    // Without a charger reading the input is unknown rather than zero.
    if (sys->inMeasured) {
      hasChargerSensor_ = true;
      drains.emplace("in", dt * sys->inJoules / sys->seconds);
    }
  }
  if (!battery.onAC) {
    if (session_) {
      session_->batteryJoules += dt * used;
      for (const auto& [app, joules] : appJoules) session_->appJoules[app] += joules;
      for (const auto& [app, joules] : appGraphics) session_->appGraphicsJoules[app] += joules;
    }
    drains.emplace("battery", dt * used);
    longDrain_.add({{"battery", dt * used}}, dt);
  }
  // The tick of a plug or unplug straddles two power states, so the drain
  // windows skip it.
  if (!switched) {
    nowDrain_.add(drains, dt);
    quickDrain_.add(std::move(drains), dt);
  }

  if (auto record = bucket_.add(now.secondsSince1970, dt, battery, appJoules)) {
    store_->write(*record);
  }

  std::vector<HeavyAppAlert> alerts;
  for (auto& [app, watts] : detector_.update(appJoules, dt, !battery.onAC, now)) {
    alerts.push_back(HeavyAppAlert{std::move(app), watts});
  }
  // Last, so the window can keep this tick's map rather than a copy.
  minuteApps_.add(std::move(appJoules), dt);
  return alerts;
}

void Tracker::flush() {
  if (auto record = bucket_.flush()) store_->write(*record);
}

double Tracker::billGraphics(const std::optional<ChipEnergy>& chip,
                             std::unordered_map<std::int32_t, std::uint64_t> gpu,
                             const std::vector<ProcessSample>& samples,
                             std::unordered_map<ProcessKey, double>& deltas) {
  double billed = 0;
  billedShares_.clear();
  if (chip && chip->graphics > 0 && !lastGPU_.empty()) {
    // GPU time since the previous tick, and the process each id stands for.
    // Times that went backwards and processes first seen now are left out.
    struct Use {
      std::uint64_t time = 0;
      std::optional<ProcessKey> key;
    };
    std::unordered_map<std::int32_t, Use> uses;
    double total = 0;
    for (const auto& [pid, time] : gpu) {
      auto previous = lastGPU_.find(pid);
      if (previous == lastGPU_.end() || time <= previous->second) continue;
      uses.emplace(pid, Use{time - previous->second, std::nullopt});
      total += static_cast<double>(time - previous->second);
    }
    if (total > 0) {
      // A reused pid can appear twice; the first sample with the id takes the time.
      for (const auto& sample : samples) {
        auto use = uses.find(sample.key.pid);
        if (use != uses.end() && !use->second.key) use->second.key = sample.key;
      }
      for (auto& [pid, use] : uses) {
        // A process whose energy could not be read in this scan still used
        // the GPU: its share goes to it, not to nobody.
        if (!use.key) use.key = energy_.missing(pid);
        if (!use.key) continue;
        double share = chip->graphics * static_cast<double>(use.time) / total;
        deltas[*use.key] += share;
        billedShares_.emplace_back(*use.key, share);
        billed += share;
      }
    }
  }
  lastGPU_ = std::move(gpu);
  return billed;
}

const AppIdentity& Tracker::identity(const ProcessKey& key) {
  if (auto known = names_.find(key); known != names_.end()) return known->second;
  AppIdentity id;
  if (identify_) {
    id = identify_(key.pid);
  } else {
    id.name = "pid " + std::to_string(key.pid);
  }
  if (id.isDevProcess) devRows_.insert(id.name);
  if (id.bundlePath) {
    auto known = bundlePaths_.find(id.name);
    if (known == bundlePaths_.end() || known->second != *id.bundlePath) {
      bundlePaths_.insert_or_assign(id.name, *id.bundlePath);
      store_->rememberBundle(id.name, *id.bundlePath);
    }
  }
  return names_.emplace(key, std::move(id)).first->second;
}

}  // namespace ebbwise

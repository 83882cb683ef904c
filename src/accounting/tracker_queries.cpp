#include <algorithm>

#include "accounting/tracker.h"
#include "base/time_left.h"

namespace ebbwise {

namespace {

// For this long after a plug or unplug the drain figures come from the
// 5-second window, so the display follows the new power state at once.
constexpr double kQuickAfterSwitch = 30.0;
// Less than this much of a minute seen since the last reset is too little to
// call an app a hog.
constexpr double kHogCoverage = 55.0;

template <typename Key>
std::optional<double> valueOf(const RollingWatts<Key>& window, const Key& key) {
  auto it = window.values().find(key);
  if (it == window.values().end()) return std::nullopt;
  return it->second;
}

template <typename List>
void sortByWattsStable(List& list) {
  std::stable_sort(list.begin(), list.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
}

const std::string kBattery = "battery";
const std::string kUsed = "used";
const std::string kIn = "in";

}  // namespace

bool Tracker::useQuick() const {
  return lastSwitch_ && lastTickDate_ && *lastTickDate_ - *lastSwitch_ < kQuickAfterSwitch;
}

std::optional<double> Tracker::minutesLeft() const {
  if (!battery_ || battery_->onAC) return std::nullopt;
  if (auto drain = valueOf(longDrain_, kBattery)) {
    if (auto minutes = TimeLeft::minutesToEmpty(battery_->remainingWh, *drain)) return minutes;
  }
  if (battery_->systemMinutesToEmpty) return static_cast<double>(*battery_->systemMinutesToEmpty);
  return std::nullopt;
}

std::optional<double> Tracker::averageDrainWatts15() const {
  if (!battery_ || battery_->onAC) return std::nullopt;
  return valueOf(longDrain_, kBattery);
}

std::optional<double> Tracker::nowDrainWatts() const {
  if (!battery_ || battery_->onAC) return std::nullopt;
  return valueOf(drainWindow(), kBattery);
}

std::optional<double> Tracker::nowUsedWatts() const {
  if (!hasSystemSensor_) return std::nullopt;
  return valueOf(drainWindow(), kUsed);
}

std::optional<double> Tracker::nowInWatts() const {
  if (!hasChargerSensor_ || !battery_ || !battery_->onAC) return std::nullopt;
  return valueOf(drainWindow(), kIn).value_or(0.0);
}

std::optional<ChipEnergy> Tracker::chipWatts() const {
  if (!hasChipData_) return std::nullopt;
  auto part = [&](const char* name) { return valueOf(nowChip_, std::string(name)).value_or(0.0); };
  return ChipEnergy(part("processor"), part("graphics"), part("video"), part("memoryAndChip"));
}

double Tracker::billedGraphicsWatts() const {
  return valueOf(nowChip_, std::string("billedGraphics")).value_or(0.0);
}

Tracker::AppWatts Tracker::hogs(double threshold) const {
  if (minuteApps_.periods().empty() || minuteApps_.coveredSeconds() < kHogCoverage) return {};
  AppWatts result;
  for (const auto& [app, watts] : minuteApps_.values()) {
    if (watts >= threshold) result.emplace_back(app, watts);
  }
  // Highest first; equal watts by name, so the order never depends on the map's.
  std::sort(result.begin(), result.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });
  return result;
}

std::unordered_map<std::string, double> Tracker::tickAppWatts() const {
  std::unordered_map<std::string, double> watts;
  if (nowApps_.periods().empty()) return watts;
  const auto& last = nowApps_.periods().back();
  for (const auto& [app, joules] : last.joules) {
    if (joules > 0) watts.emplace(app, joules / last.dt);
  }
  return watts;
}

std::vector<std::pair<ProcessKey, double>> Tracker::topProcessKeys(const std::string& app,
                                                                   std::size_t limit) const {
  std::vector<std::pair<ProcessKey, double>> matching;
  for (const auto& [key, watts] : nowProcesses_.values()) {
    auto identity = names_.find(key);
    if (identity != names_.end() && identity->second.name == app) matching.emplace_back(key, watts);
  }
  sortByWattsStable(matching);
  if (matching.size() > limit) matching.resize(limit);
  return matching;
}

Tracker::ProcessWatts Tracker::topProcesses(const std::string& app, std::size_t limit) const {
  ProcessWatts result;
  for (const auto& [key, watts] : topProcessKeys(app, limit)) result.emplace_back(key.pid, watts);
  return result;
}

std::optional<std::string> Tracker::rowName(std::int32_t pid) const {
  for (const auto& [key, identity] : names_) {
    if (key.pid == pid) return identity.name;
  }
  return std::nullopt;
}

}  // namespace ebbwise

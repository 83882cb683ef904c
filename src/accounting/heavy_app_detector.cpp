#include "accounting/heavy_app_detector.h"

#include <algorithm>

namespace ebbwise {

namespace {

// Below this an average is dropped, so apps that stopped drawing fade out.
constexpr double kForgetBelow = 0.01;

void sortByWatts(HeavyAppDetector::AppWatts& list) {
  // Averages iterate in name order, so a stable sort breaks ties by name.
  std::stable_sort(list.begin(), list.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
}

}  // namespace

HeavyAppDetector::AppWatts HeavyAppDetector::update(
    const std::unordered_map<std::string, double>& joulesPerApp, double dt, bool onBattery,
    sys::Date now) {
  if (!(dt > 0)) return {};

  // Apps seen for the first time rise from 0 rather than jumping to their
  // first sample, so one busy tick cannot raise an alert.
  for (const auto& [app, joules] : joulesPerApp) {
    auto [it, inserted] = averages_.try_emplace(app, smoothing_);
    if (inserted) it->second.value = 0.0;
  }
  for (auto it = averages_.begin(); it != averages_.end();) {
    auto joules = joulesPerApp.find(it->first);
    double watts = joules == joulesPerApp.end() ? 0.0 : joules->second / dt;
    it->second.add(watts, dt);
    if (*it->second.value >= kForgetBelow) {
      ++it;
    } else {
      it = averages_.erase(it);
    }
  }

  if (!onBattery) return {};

  AppWatts alerts;
  for (const auto& [app, average] : averages_) {
    double watts = *average.value;
    if (watts < thresholdWatts) continue;
    auto last = lastAlert_.find(app);
    if (last != lastAlert_.end() && now - last->second < cooldown) continue;
    lastAlert_.insert_or_assign(app, now);
    alerts.emplace_back(app, watts);
  }
  sortByWatts(alerts);
  return alerts;
}

void HeavyAppDetector::restoreLastAlerts(const std::map<std::string, sys::Date>& dates) {
  for (const auto& [app, at] : dates) {
    auto [it, inserted] = lastAlert_.try_emplace(app, at);
    if (!inserted && at > it->second) it->second = at;
  }
}

HeavyAppDetector::AppWatts HeavyAppDetector::above() const {
  AppWatts result;
  for (const auto& [app, average] : averages_) {
    if (average.value && *average.value >= thresholdWatts) result.emplace_back(app, *average.value);
  }
  sortByWatts(result);
  return result;
}

}  // namespace ebbwise

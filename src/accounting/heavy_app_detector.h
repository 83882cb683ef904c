#pragma once

#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "accounting/smoothed_value.h"
#include "sys/date.h"

namespace ebbwise {

// Reports apps that have drawn at least a threshold power for minutes while on
// battery, at most once per app per cooldown.
class HeavyAppDetector {
 public:
  using AppWatts = std::vector<std::pair<std::string, double>>;

  HeavyAppDetector(double thresholdWatts, double smoothing, double cooldown)
      : thresholdWatts(thresholdWatts), cooldown(cooldown), smoothing_(smoothing) {}

  double thresholdWatts;  // watts
  double cooldown;        // seconds between two alerts for one app

  // Folds in each app's energy over the last `dt` seconds; returns the apps
  // newly alerted, highest first.
  AppWatts update(const std::unordered_map<std::string, double>& joulesPerApp, double dt,
                  bool onBattery, sys::Date now);

  // Apps whose smoothed power is at least the threshold now, highest first.
  AppWatts above() const;

  double smoothing() const { return smoothing_; }
  const std::map<std::string, SmoothedValue>& averages() const { return averages_; }

  // When each app was last reported. A restarted program hands back the
  // dates it kept, so a restart does not cut an app's cool-down short;
  // dates later than a report the detector made itself never replace it.
  const std::map<std::string, sys::Date>& lastAlerts() const { return lastAlert_; }
  void restoreLastAlerts(const std::map<std::string, sys::Date>& dates);

 private:
  std::map<std::string, SmoothedValue> averages_;
  std::map<std::string, sys::Date> lastAlert_;
  double smoothing_;
};

}  // namespace ebbwise

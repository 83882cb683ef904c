#pragma once

#include <optional>
#include <string>
#include <vector>

#include "history/store.h"
#include "sys/value.h"

namespace ebbwise {

// What the kept history says about the last stretch of time on this
// machine, told at once from the stored minutes instead of by watching: the
// time and energy on battery, the charge at both ends, and the energy of
// each app with its share.
struct HistoryReport {
  struct App {
    std::string name;
    double joules = 0;
    double share = 0;  // of the energy drawn from the battery
  };

  double seconds = 0;         // how far back the report looks
  double firstMinuteAgo = 0;  // the oldest stored minute within it, seconds before now
  double lastMinuteAgo = 0;   // the newest
  double secondsOnBattery = 0;
  double joules = 0;        // drawn from the battery
  double startPercent = 0;  // at the oldest stored minute
  double endPercent = 0;    // at the newest
  std::vector<App> apps;    // highest first

  // The report of the `seconds` before `now` (seconds since 1970); nothing
  // when the history holds no minute of them.
  static std::optional<HistoryReport> from(Store& store, double now, double seconds);

  // A readable table; `appLimit` apps are listed, the rest summed.
  std::string table(std::size_t appLimit = 12) const;
  sys::Value json() const;
};

}  // namespace ebbwise

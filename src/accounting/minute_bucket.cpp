#include "accounting/minute_bucket.h"

#include <utility>

namespace ebbwise {

namespace {

constexpr double kMinute = 60.0;

}  // namespace

std::optional<HistoryRecord> MinuteBucket::add(
    double ts, double tickSeconds, const BatteryReading& battery,
    const std::unordered_map<std::string, double>& appJoules) {
  std::optional<HistoryRecord> result;
  if (startTs && (battery.onAC != onAC || ts - *startTs >= kMinute)) result = flush();
  if (!startTs) startTs = ts - tickSeconds;
  lastTs = ts;
  dt += tickSeconds;
  signedJoules += battery.watts * tickSeconds;
  percent = battery.percent;
  onAC = battery.onAC;
  for (const auto& [app, joules] : appJoules) apps[app] += joules;
  return result;
}

std::optional<HistoryRecord> MinuteBucket::flush() {
  std::optional<HistoryRecord> record;
  if (startTs && dt > 0) {
    record = HistoryRecord{lastTs, dt, percent, signedJoules / dt, onAC, std::move(apps)};
  }
  *this = MinuteBucket{};
  return record;
}

}  // namespace ebbwise

#include "accounting/minute_bucket.h"

#include <utility>

namespace ebbwise {

namespace {

constexpr double kMinute = 60.0;
// Tick times are sums of doubles: a minute of twelve 5-second ticks may come
// out a hair short of 60 s, and must still close.
constexpr double kSlack = 1e-6;

}  // namespace

std::optional<HistoryRecord> MinuteBucket::add(
    double ts, double tickSeconds, const BatteryReading& battery,
    const std::unordered_map<std::string, double>& appJoules) {
  std::optional<HistoryRecord> result;
  // A change of power source starts a new record with this tick, and so does
  // a tick that begins after the minute is over (the first after a gap).
  if (startTs && (battery.onAC != onAC || ts - tickSeconds >= *startTs + kMinute - kSlack)) {
    result = flush();
  }
  if (!startTs) startTs = ts - tickSeconds;
  lastTs = ts;
  dt += tickSeconds;
  signedJoules += battery.watts * tickSeconds;
  percent = battery.percent;
  onAC = battery.onAC;
  for (const auto& [app, joules] : appJoules) apps[app] += joules;
  // The tick that completes the minute belongs to it. When this tick already
  // closed the record before it, the full minute it starts waits for the next
  // tick, which always closes it: nothing is lost, only written one tick later.
  if (!result && ts - *startTs >= kMinute - kSlack) result = flush();
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

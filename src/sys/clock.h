#pragma once

#include <cstdint>

#include "sys/date.h"

namespace ebbwise::sys {

// The ratio that turns monotonic ticks into nanoseconds: ns = ticks * numer / denom.
struct Timebase {
  std::uint32_t numer = 1;
  std::uint32_t denom = 1;

  constexpr double ticksToSeconds(std::uint64_t ticks) const {
    return static_cast<double>(ticks) * numer / denom / 1e9;
  }
  // Saturates instead of overflowing: NaN and non-positive durations are 0
  // ticks, durations beyond the counter's range its largest value.
  constexpr std::uint64_t secondsToTicks(double seconds) const {
    double ticks = seconds * 1e9 * denom / numer;
    if (!(seconds > 0) || !(ticks > 0)) return 0;
    if (ticks >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<std::uint64_t>(ticks);
  }
};

// Wall-clock time and the machine's monotonic tick counter (the unit in which
// the kernel stamps process start times). The only place time is read.
class Clock {
 public:
  virtual ~Clock() = default;
  // The current wall-clock date.
  virtual Date now() const = 0;
  // Monotonic ticks since boot, in units of `timebase()`; never goes back.
  virtual std::uint64_t monotonicTicks() const = 0;
  virtual Timebase timebase() const = 0;
};

// A clock that moves only when told to; for tests. Its tick counter starts at
// `uptime` seconds' worth, so processes started "before" the clock existed
// still have positive start times.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(Date start = Date{1'700'000'000.0}, Timebase timebase = {125, 3},
                       double uptime = 3600.0)
      : date_(start), ticks_(timebase.secondsToTicks(uptime)), timebase_(timebase) {}

  Date now() const override { return date_; }
  std::uint64_t monotonicTicks() const override { return ticks_; }
  Timebase timebase() const override { return timebase_; }

  // Moves both the date and the tick counter forward by `seconds`.
  void advance(double seconds) {
    date_ = date_ + seconds;
    ticks_ += timebase_.secondsToTicks(seconds);
  }
  void set(Date date) { date_ = date; }

 private:
  Date date_;
  std::uint64_t ticks_;
  Timebase timebase_;
};

}  // namespace ebbwise::sys

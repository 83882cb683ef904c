#pragma once

#include "sys/clock.h"

namespace ebbwise::linux_host {

// The host's real clocks: the wall clock and the nanoseconds since boot.
class SystemClock final : public sys::Clock {
 public:
  sys::Date now() const override;
  std::uint64_t monotonicTicks() const override;
  sys::Timebase timebase() const override { return {1, 1}; }
};

}  // namespace ebbwise::linux_host

#include "linux/system_clock.h"

#include <time.h>

#include <chrono>

namespace ebbwise::linux_host {

sys::Date SystemClock::now() const {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  return sys::Date{std::chrono::duration<double>(since).count()};
}

std::uint64_t SystemClock::monotonicTicks() const {
  // The clock the kernel stamps process start times against: it counts time
  // asleep too, so a process started before a suspend stays older than the
  // ticks read after it.
  timespec t{};
  clock_gettime(CLOCK_BOOTTIME, &t);
  return static_cast<std::uint64_t>(t.tv_sec) * 1'000'000'000u +
         static_cast<std::uint64_t>(t.tv_nsec);
}

}  // namespace ebbwise::linux_host

#include "linux/system_clock.h"

#include <chrono>

namespace ebbwise::linux_host {

sys::Date SystemClock::now() const {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  return sys::Date{std::chrono::duration<double>(since).count()};
}

std::uint64_t SystemClock::monotonicTicks() const {
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(since).count());
}

}  // namespace ebbwise::linux_host

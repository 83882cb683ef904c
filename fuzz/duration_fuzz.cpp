// Durations typed on the command line.

#include <cmath>
#include <cstdint>

#include "app/duration.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ebbwise::fuzz::FuzzInput input(data, size);
  if (auto seconds = ebbwise::parseDuration(input.remainingText())) {
    FUZZ_CHECK(std::isfinite(*seconds) && *seconds > 0 && *seconds <= 366 * 86400.0);
  }
  return 0;
}

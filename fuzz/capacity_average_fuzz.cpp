// The capacity average as the settings keep it: whatever is accepted is
// written back in a form that reads back the same, and folding in more
// estimates keeps the mean a positive number.

#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "sensors/power/capacity_average.h"

using namespace ebbwise;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);
  const double estimate = input.take<double>();
  auto average = CapacityAverage::fromJSONText(input.remainingText());
  if (!average) return 0;
  const std::string stored = average->toJSONText();
  auto again = CapacityAverage::fromJSONText(stored);
  FUZZ_CHECK(again.has_value());
  FUZZ_CHECK(again->toJSONText() == stored);
  average->add({estimate, 5000});
  FUZZ_CHECK(average->mean && std::isfinite(*average->mean) && *average->mean > 0);
  return 0;
}

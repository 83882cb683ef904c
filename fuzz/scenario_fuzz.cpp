// Scenario files. A scenario that is accepted also builds its machine and
// runs for a simulated minute with the battery entry read, since some values
// only go wrong once the machine publishes them.

#include <cstdint>

#include "fuzz_input.h"
#include "sensors/power/battery_reading.h"
#include "sim/scenario.h"
#include "sim/simulation.h"

using namespace ebbwise;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);
  sim::Scenario::Parsed parsed = sim::Scenario::parse(input.remainingText(), "fuzz.json");
  if (!parsed) {
    FUZZ_CHECK(parsed.error.starts_with("fuzz.json: ") && parsed.error.size() > 11);
    return 0;
  }
  sim::Simulation simulation(std::move(*parsed.scenario));
  BatteryReading::read(simulation.platform().registry);
  simulation.runFor(60);
  BatteryReading::read(simulation.platform().registry);
  return 0;
}

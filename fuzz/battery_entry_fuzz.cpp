// The battery's registry entry: a property dictionary, here written as JSON.

#include <cmath>
#include <cstdint>

#include "fuzz_input.h"
#include "sensors/power/battery_reading.h"
#include "sys/in_memory_registry.h"
#include "sys/value.h"

using namespace ebbwise;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);
  const std::string_view text = input.remainingText();
  sys::Value properties = sys::Value::parse(text, nullptr, false);
  if (properties.is_discarded()) return 0;

  const BatteryReading reading = BatteryReading::fromProperties(properties);
  FUZZ_CHECK(!(reading.percent > 100));

  sys::InMemoryRegistry registry;
  registry.add("AppleSmartBattery", properties);
  if (auto read = BatteryReading::read(registry)) {
    FUZZ_CHECK(!(read->percent > 100));
    if (read->chargerName) BatteryReading::ratedWatts(*read->chargerName);
  }
  return 0;
}

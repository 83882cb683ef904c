// The graphics accelerators' user clients in the registry. The input is a
// JSON list of accelerators, each {"properties": {…}, "clients": [{…}, …]}
// with the clients' property dictionaries.

#include <cstdint>

#include "fuzz_input.h"
#include "sensors/hardware/gpu_usage.h"
#include "sys/in_memory_registry.h"
#include "sys/value.h"

using namespace ebbwise;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);
  sys::Value accelerators = sys::Value::parse(input.remainingText(), nullptr, false);
  if (!accelerators.is_array()) return 0;

  sys::InMemoryRegistry registry;
  for (const sys::Value& accelerator : accelerators) {
    const sys::Value* properties = sys::member(accelerator, "properties");
    const auto entry =
        registry.add("IOAccelerator", properties ? *properties : sys::Value::object());
    if (const sys::Value* clients = sys::asList(sys::member(accelerator, "clients"))) {
      for (const sys::Value& client : *clients) {
        registry.add("AGXDeviceUserClient", client, entry);
        if (auto creator = sys::asString(sys::member(client, "IOUserClientCreator"))) {
          if (GPUUsage::pid(*creator)) FUZZ_CHECK(creator->starts_with("pid "));
        }
        if (const sys::Value* usage = sys::member(client, "AppUsage")) GPUUsage::gpuTime(*usage);
      }
    }
  }
  GPUUsage::read(registry);
  return 0;
}

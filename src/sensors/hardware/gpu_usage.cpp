#include "sensors/hardware/gpu_usage.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace ebbwise::GPUUsage {

namespace {

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
  return b > std::numeric_limits<std::uint64_t>::max() - a
             ? std::numeric_limits<std::uint64_t>::max()
             : a + b;
}

// "AppUsage" counts only as a list whose every element is a dictionary.
const sys::Value* usageList(const std::optional<sys::Value>& value) {
  if (!value) return nullptr;
  const sys::Value* list = sys::asList(&*value);
  if (!list) return nullptr;
  for (const sys::Value& element : *list) {
    if (!element.is_object()) return nullptr;
  }
  return list;
}

}  // namespace

std::optional<std::int32_t> pid(std::string_view fromCreator) {
  constexpr std::string_view kPrefix = "pid ";
  if (!fromCreator.starts_with(kPrefix)) return std::nullopt;
  const std::string_view rest = fromCreator.substr(kPrefix.size());
  const auto digits =
      std::find_if(rest.begin(), rest.end(), [](char c) { return c < '0' || c > '9'; });
  if (digits == rest.begin()) return std::nullopt;
  std::int32_t value = 0;
  const char* end = rest.data() + (digits - rest.begin());
  auto [stop, error] = std::from_chars(rest.data(), end, value);
  if (error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

std::uint64_t gpuTime(const sys::Value& usageList) {
  std::uint64_t total = 0;
  if (!usageList.is_array()) return total;
  for (const sys::Value& usage : usageList) {
    if (auto time = sys::asUnsigned(sys::member(usage, "accumulatedGPUTime"))) {
      total = saturatingAdd(total, *time);
    }
  }
  return total;
}

std::unordered_map<std::int32_t, std::uint64_t> read(sys::Registry& registry) {
  std::unordered_map<std::int32_t, std::uint64_t> times;
  for (sys::RegistryEntry accelerator : registry.matchingServices("IOAccelerator")) {
    for (sys::RegistryEntry client : registry.descendants(accelerator)) {
      auto creator = registry.property(client, "IOUserClientCreator");
      if (!creator || !creator->is_string()) continue;
      auto owner = pid(creator->get_ref<const std::string&>());
      if (!owner) continue;
      auto usage = registry.property(client, "AppUsage");
      const sys::Value* list = usageList(usage);
      if (!list) continue;
      auto& total = times[*owner];
      total = saturatingAdd(total, gpuTime(*list));
    }
  }
  return times;
}

}  // namespace ebbwise::GPUUsage

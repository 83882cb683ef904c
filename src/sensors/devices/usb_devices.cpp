#include "sensors/devices/usb_devices.h"

#include "base/json_fields.h"
#include "base/utf8.h"
#include "sensors/devices/system_profiler.h"

namespace ebbwise::USBDevices {

namespace {

void collect(const sys::Value& node, int depth, std::vector<std::string>& names) {
  if (depth > maxDepth) return;
  const sys::Value* items = sys::asList(sys::member(node, "_items"));
  if (!items) return;
  for (const sys::Value& item : *items) {
    if (auto name = sys::asString(sys::member(item, "_name"))) {
      if (Utf8::asciiLowercase(*name).find("hub") == std::string::npos) names.push_back(*name);
    }
    collect(item, depth + 1, names);
  }
}

bool contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

Buses read(sys::ToolRunner& tools) {
  auto report = SystemProfiler::report(tools, "SPUSBDataType", "mini");
  if (!report) return {};
  return parse(*report);
}

Buses parse(std::string_view json) {
  const std::optional<sys::Value> root = JSONFields::parse(Utf8::decode(json));
  if (!root) return {};
  const sys::Value* buses = sys::asList(sys::member(*root, "SPUSBDataType"));
  if (!buses) return {};
  Buses out;
  int number = 0;
  for (const sys::Value& bus : *buses) {
    ++number;
    std::vector<std::string> names;
    collect(bus, 0, names);
    if (!names.empty()) out.emplace(number, std::move(names));
  }
  return out;
}

std::string friendlyName(const std::string& name) {
  const std::string lower = Utf8::asciiLowercase(name);
  if (contains(lower, "watch")) return "Apple Watch";
  if (contains(lower, "iphone")) return "iPhone";
  if (contains(lower, "ipad")) return "iPad";
  if (contains(lower, "airpods")) return "AirPods";
  return name;
}

std::string rowName(const std::optional<std::vector<std::string>>& names) {
  if (!names || names->empty()) return "USB-C device";
  return friendlyName(names->front()) + ", charging";
}

}  // namespace ebbwise::USBDevices

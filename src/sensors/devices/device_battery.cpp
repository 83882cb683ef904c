#include "sensors/devices/device_battery.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <set>
#include <utility>

#include "base/json_fields.h"
#include "base/utf8.h"
#include "sensors/devices/system_profiler.h"

namespace ebbwise {

namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kLevelKeys = {{
    {"device_batteryLevelMain", ""},
    {"device_batteryLevelLeft", "L"},
    {"device_batteryLevelRight", "R"},
    {"device_batteryLevelCase", "case"},
}};

constexpr std::array<std::pair<std::string_view, bool>, 2> kSections = {{
    {"device_connected", true},
    {"device_not_connected", false},
}};

// "85%" → 85: the digits of the text, read as one number.
std::optional<int> percentIn(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (c >= '0' && c <= '9') digits += c;
  }
  int value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::string DeviceBattery::symbol() const {
  const std::string lower = Utf8::asciiLowercase(kind);
  if (lower == "mouse") return "computermouse";
  if (lower == "keyboard") return "keyboard";
  if (lower == "headphones" || lower == "headset") return "airpodspro";
  if (lower == "trackpad") return "rectangle.and.hand.point.up.left";
  return "dot.radiowaves.left.and.right";
}

std::vector<DeviceBattery> DeviceBattery::read(sys::ToolRunner& tools) {
  auto report = SystemProfiler::report(tools, "SPBluetoothDataType", "basic");
  if (!report) return {};
  return parse(*report);
}

std::vector<DeviceBattery> DeviceBattery::parse(std::string_view json) {
  // A name that is not UTF-8 spoils no more than that name.
  const std::optional<sys::Value> root = JSONFields::parse(Utf8::decode(json));
  if (!root) return {};
  const sys::Value* controllers = sys::asList(sys::member(*root, "SPBluetoothDataType"));
  if (!controllers || controllers->empty()) return {};
  const sys::Value& controller = controllers->front();
  if (!controller.is_object()) return {};

  std::vector<DeviceBattery> out;
  std::set<std::string> seen;
  for (const auto& [section, connected] : kSections) {
    const sys::Value* entries = sys::asList(sys::member(controller, section));
    if (!entries) continue;
    for (const sys::Value& entry : *entries) {
      if (!entry.is_object()) continue;
      for (const auto& [name, properties] : entry.items()) {
        if (seen.contains(name)) continue;
        DeviceBattery device{name, "", {}, connected};
        for (const auto& [key, label] : kLevelKeys) {
          auto text = sys::asString(sys::member(properties, key));
          if (!text) continue;
          if (auto percent = percentIn(*text))
            device.levels.push_back({std::string(label), *percent});
        }
        if (device.levels.empty()) continue;
        device.kind = sys::asString(sys::member(properties, "device_minorType")).value_or("");
        seen.insert(name);
        out.push_back(std::move(device));
      }
    }
  }
  std::stable_sort(out.begin(), out.end(), [](const DeviceBattery& a, const DeviceBattery& b) {
    if (a.isConnected != b.isConnected) return a.isConnected;
    return a.name < b.name;
  });
  return out;
}

}  // namespace ebbwise

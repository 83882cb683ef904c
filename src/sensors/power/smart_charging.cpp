#include "sensors/power/smart_charging.h"

namespace ebbwise {

namespace {

bool flag(const sys::Value& description, std::string_view key) {
  const sys::Value* value = sys::member(description, key);
  if (!value) return false;
  if (auto b = sys::asBool(value)) return *b;
  auto number = sys::asNumber(value);
  return number && *number != 0;
}

}  // namespace

SmartCharging SmartCharging::fromPowerSource(const sys::Value& description) {
  return SmartCharging{flag(description, "Optimized Battery Charging Engaged"),
                       flag(description, "Is Finishing Charge")};
}

std::optional<SmartCharging> SmartCharging::read(sys::PowerSources& powerSources) {
  auto blob = powerSources.copyInfo();
  if (!blob) return std::nullopt;
  auto sources = powerSources.copyList(*blob);
  if (!sources) return std::nullopt;
  for (sys::PowerSourceRef source : *sources) {
    auto description = powerSources.description(*blob, source);
    if (!description) continue;
    if (sys::asString(sys::member(*description, "Type")) == "InternalBattery") {
      return fromPowerSource(*description);
    }
  }
  return std::nullopt;
}

std::optional<std::string> SmartCharging::message() const {
  if (holding) return "Smart charging · holding at 80%";
  if (finishing) return "Finishing the charge slowly";
  return std::nullopt;
}

std::optional<std::string> SmartCharging::detail() const {
  if (holding) {
    return "macOS holds the battery at 80% and finishes charging closer to when you usually "
           "unplug.";
  }
  if (finishing) return "macOS finishes the last few percent slowly, to protect the battery.";
  return std::nullopt;
}

}  // namespace ebbwise

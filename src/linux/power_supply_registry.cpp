#include "linux/power_supply_registry.h"

#include <algorithm>

namespace ebbwise::linux_host {

std::vector<PowerSupply> PowerSupplyRegistry::readAll() {
  return shared_ ? shared_->readAll() : PowerSupply::readAll(sysRoot_);
}

std::vector<sys::RegistryEntry> PowerSupplyRegistry::matchingServices(std::string_view className) {
  if (className != "AppleSmartBattery" && className != "IOPMPowerSource") return {};
  if (shared_) {
    const auto supplies = shared_->readAll();
    if (std::none_of(supplies.begin(), supplies.end(),
                     [](const PowerSupply& s) { return s.isSystemBattery(); })) {
      return {};
    }
  } else if (!PowerSupply::anySystemBattery(sysRoot_)) {
    return {};
  }
  return {kBattery};
}

std::optional<sys::Value> PowerSupplyRegistry::properties(sys::RegistryEntry entry) {
  if (entry != kBattery) return std::nullopt;
  const auto battery = BatteryStatus::of(readAll());
  if (!battery) return std::nullopt;
  return battery->properties();
}

std::optional<sys::Value> PowerSupplyRegistry::property(sys::RegistryEntry entry,
                                                        std::string_view key) {
  const auto all = properties(entry);
  const sys::Value* value = all ? sys::member(*all, key) : nullptr;
  if (!value) return std::nullopt;
  return *value;
}

}  // namespace ebbwise::linux_host

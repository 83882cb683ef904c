#include "linux/power_supply_registry.h"

namespace ebbwise::linux_host {

std::vector<sys::RegistryEntry> PowerSupplyRegistry::matchingServices(std::string_view className) {
  if (className != "AppleSmartBattery" && className != "IOPMPowerSource") return {};
  if (!PowerSupply::anySystemBattery(sysRoot_)) return {};
  return {kBattery};
}

std::optional<sys::Value> PowerSupplyRegistry::properties(sys::RegistryEntry entry) {
  if (entry != kBattery) return std::nullopt;
  const auto battery = BatteryStatus::of(PowerSupply::readAll(sysRoot_));
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

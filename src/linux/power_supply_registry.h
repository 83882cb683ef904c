#pragma once

#include <string>

#include "linux/battery_status.h"
#include "linux/power_supply_cache.h"
#include "sys/registry.h"

namespace ebbwise::linux_host {

// The device registry as far as Linux has it: the machine's batteries and
// adapters under `sysRoot`/class/power_supply published as one battery
// service of class "AppleSmartBattery" (an "IOPMPowerSource"), with the
// properties a Mac's battery has. Read afresh at every call, or from a
// reading shared with the other services when given one; no battery in its
// bay means no service, and a battery that goes away mid-run takes its entry
// with it.
class PowerSupplyRegistry final : public sys::Registry {
 public:
  static constexpr sys::RegistryEntry kBattery = 1;

  // `shared` (may be null) must outlive the registry.
  explicit PowerSupplyRegistry(std::string sysRoot, PowerSupplyCache* shared = nullptr)
      : sysRoot_(std::move(sysRoot)), shared_(shared) {}

  std::vector<sys::RegistryEntry> matchingServices(std::string_view className) override;
  std::optional<sys::Value> properties(sys::RegistryEntry entry) override;
  std::optional<sys::Value> property(sys::RegistryEntry entry, std::string_view key) override;
  std::vector<sys::RegistryEntry> descendants(sys::RegistryEntry) override { return {}; }

 private:
  std::vector<PowerSupply> readAll();

  std::string sysRoot_;
  PowerSupplyCache* shared_;
};

}  // namespace ebbwise::linux_host

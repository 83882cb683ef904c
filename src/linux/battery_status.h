#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "linux/power_supply.h"
#include "sys/value.h"

namespace ebbwise::linux_host {

// The machine's batteries seen as one, with the adapter that feeds them, in
// the units and signs the battery's registry entry carries: charge in mAh,
// power signed by the battery's status (positive while charging, negative
// while discharging), whatever sign the firmware gives its raw current.
//
// Batteries that report energy rather than charge have their figures turned
// into charge at their design voltage, which is then also the voltage
// published, so that charge × voltage gives back the energy the battery
// reported and the charge stays steady while the voltage moves with the load.
struct BatteryStatus {
  struct Adapter {
    std::string name;
    std::optional<double> watts;  // what it offers: its voltage × current
    std::optional<double> volts;
    std::optional<double> amps;
    std::string description;  // "usb-c pd", "usb", "mains", "wireless"
  };

  std::string status;  // "Charging", "Discharging", "Full", "Not charging" or "Unknown"
  bool externalConnected = false;
  std::optional<double> percent;  // the firmware's own charge percentage
  std::optional<double> nowMAh, fullMAh, designMAh;
  std::optional<double> volts;         // the voltage the charge figures are expressed at
  std::optional<double> presentVolts;  // the battery's voltage now
  std::optional<double> watts;         // signed, see above
  std::optional<std::int64_t> cycleCount;
  std::optional<double> temperatureC;
  std::optional<double> minutesToEmpty, minutesToFull;
  std::string model, manufacturer;
  std::optional<Adapter> adapter;

  // Nothing when no system battery is in its bay (a desktop, a laptop with
  // its only battery removed).
  static std::optional<BatteryStatus> of(const std::vector<PowerSupply>& supplies);

  // The battery's registry properties, under the keys a Mac's smart battery uses.
  sys::Value properties() const;

  // The power the whole machine draws while the battery alone feeds it;
  // nothing on external power or when the battery does not say.
  std::optional<double> systemWatts() const;
};

}  // namespace ebbwise::linux_host

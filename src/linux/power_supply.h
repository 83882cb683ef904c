#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "linux/open_files.h"

namespace ebbwise::linux_host {

// One device of the kernel's power-supply class (/sys/class/power_supply/NAME)
// as its attribute files give it, in the kernel's micro units. A file that is
// missing, unreadable, garbled or outside what any real device reports reads
// as absent.
struct PowerSupply {
  std::string name;
  std::string type;     // "Battery", "Mains", "USB", "Wireless", …
  std::string scope;    // "System", "Device" (a peripheral's own battery), or empty
  std::string status;   // "Charging", "Discharging", "Full", "Not charging", "Unknown", or empty
  std::string usbType;  // the selected one of "usb_type" ("PD", "C", …), or empty
  std::string model;
  std::string manufacturer;
  std::optional<bool> present;
  std::optional<bool> online;
  std::optional<std::int64_t> capacityPercent;
  std::optional<std::int64_t> chargeNow, chargeFull, chargeFullDesign;  // µAh
  std::optional<std::int64_t> energyNow, energyFull, energyFullDesign;  // µWh
  std::optional<std::int64_t> currentNow;  // µA, in the device's own sign convention
  std::optional<std::int64_t> powerNow;    // µW, likewise
  std::optional<std::int64_t> voltageNow, voltageMinDesign, voltageMaxDesign;  // µV
  std::optional<std::int64_t> voltageMax, currentMax;  // µV, µA: what an adapter offers
  std::optional<std::int64_t> cycleCount;
  std::optional<std::int64_t> temperatureTenths;  // tenths of a degree Celsius
  std::optional<std::int64_t> secondsToEmpty, secondsToFull;

  // The device in `folder`; nothing when the folder has no readable "type".
  // With `open`, its files are held open there for the next reading.
  static std::optional<PowerSupply> read(const std::string& folder, const std::string& name,
                                         OpenFiles* open = nullptr);
  // Every device under `sysRoot`/class/power_supply, in name order. With
  // `open`, the files of devices no longer listed are closed.
  static std::vector<PowerSupply> readAll(const std::string& sysRoot, OpenFiles* open = nullptr);
  // Whether a system battery is in its bay, reading only what tells.
  static bool anySystemBattery(const std::string& sysRoot);

  // A battery that powers the machine itself (not a mouse's), and is in its bay.
  bool isSystemBattery() const;
  // A source of external power (mains, USB, wireless), whether or not online.
  bool isAdapter() const;
};

}  // namespace ebbwise::linux_host

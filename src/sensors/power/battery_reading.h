#pragma once

// Power sensors: the battery and charger, the SMC's whole-system power and the
// chip's energy counters, parsed from the platform's shapes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sensors/power/usb_power_out.h"
#include "sys/registry.h"
#include "sys/value.h"

namespace ebbwise {

// One snapshot of the internal battery and the charger feeding it, from the
// battery's registry entry.
struct BatteryReading {
  double percent = 0;      // charge from the raw capacities, at most 100
  double remainingWh = 0;  // energy left
  double watts = 0;        // signed: negative while draining, positive while charging
  bool onAC = false;
  bool isCharging = false;
  std::optional<std::int64_t> systemMinutesToEmpty;  // the OS's own estimates
  std::optional<std::int64_t> systemMinutesToFull;
  double fullWh = 0;
  std::optional<std::int64_t> chargeMAh;
  std::optional<std::int64_t> fullMAh;
  std::optional<double> systemPercent;  // the percentage macOS shows
  double voltage = 0;                   // volts
  std::vector<USBPowerOut> powerOut;
  std::vector<double> capacityEstimates;  // full-capacity candidates, mAh
  std::optional<std::int64_t> chargerRatedWatts;
  std::optional<std::int64_t> chargerWatts;
  std::optional<double> temperatureC;
  std::optional<std::string> chargerName;

  // The short form for previews and demonstrations; every other field empty.
  static BatteryReading make(double percent, double remainingWh, double watts, bool onAC,
                             bool isCharging, std::optional<std::int64_t> systemMinutesToEmpty,
                             std::optional<std::int64_t> systemMinutesToFull);

  // Builds a reading from the battery entry's properties. Never fails: a
  // missing or mistyped key takes its default.
  static BatteryReading fromProperties(const sys::Value& properties);

  // Reads the "AppleSmartBattery" entry; nothing on a Mac without a battery
  // or when its properties cannot be copied.
  static std::optional<BatteryReading> read(sys::Registry& registry);

  // The rating printed in a charger's name ("96W USB-C Power Adapter" → 96).
  static std::optional<std::int64_t> ratedWatts(std::string_view name);

  // Replaces the full capacity by a better estimate in mAh.
  void useFullCapacity(double mAh);

  friend bool operator==(const BatteryReading&, const BatteryReading&) = default;
};

}  // namespace ebbwise

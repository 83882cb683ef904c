#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ebbwise {

// Power through the charger while the Mac is plugged in: what comes in, what
// the Mac uses, and so what goes into (or out of) the battery.
struct ChargeFlow {
  enum class State { charging, holding, draining };

  // Net battery power within this band counts as holding: the charger just
  // covers the use (for example while smart charging holds the battery).
  static constexpr double kHoldingBand = 0.3;

  double inWatts = 0;    // from the charger
  double usedWatts = 0;  // by the Mac

  // Positive while the battery gains energy.
  double batteryWatts() const { return inWatts - usedWatts; }
  State state() const;

  // Minutes until the battery holds `fullWh` at the present net power;
  // nothing when it is full or not really charging.
  std::optional<double> minutesToFull(double remainingWh, double fullWh) const;

  // What to call the charger: its own name when it has one, else what is
  // known of it ("Anker 96 W USB-C charger", "USB-C charger", "Charger").
  static std::string chargerLabel(const std::optional<std::string>& name,
                                  std::optional<std::int64_t> watts,
                                  const std::optional<std::string>& brand);

  // A hint when the charger gives well below its rating (a weak cable, or a
  // second device on the same charger); nothing otherwise.
  static std::optional<std::string> chargerNote(std::optional<std::int64_t> rated,
                                                std::optional<std::int64_t> delivering);

  friend bool operator==(const ChargeFlow&, const ChargeFlow&) = default;
};

// The "charging" flag as shown, with hysteresis so that it does not flicker
// while the net battery power hovers around zero.
struct ChargingLatch {
  static constexpr double kOnAbove = 0.5;  // watts into the battery
  static constexpr double kOffBelow = 0.2;

  bool isOn = false;

  bool update(double batteryWatts) {
    if (batteryWatts > kOnAbove) isOn = true;
    if (batteryWatts < kOffBelow) isOn = false;
    return isOn;
  }
};

}  // namespace ebbwise

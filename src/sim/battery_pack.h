#pragma once

#include <array>

namespace ebbwise::sim {

// A Li-ion pack of three cells in series: its open-circuit voltage follows the
// charge along a plateau curve, and the energy it holds is the integral of
// that voltage over the charge, so energy and charge convert into each other
// exactly. Charge is in coulombs, energy in joules, voltage in volts.
class BatteryPack {
 public:
  explicit BatteryPack(double fullMAh);

  double fullMAh() const { return fullMAh_; }
  double fullCharge() const { return fullCharge_; }
  double fullEnergy() const { return energyTable_.back(); }

  // Pack voltage at a charge (clamped to empty…full).
  double voltageAt(double charge) const;
  // The voltage at the pack's terminals while `watts` flow into it (negative
  // while it drains): the open-circuit voltage moved by the current through
  // the pack's internal resistance, as the gauge measures it. Under load it
  // reads below the open-circuit voltage, on the charger above it.
  double terminalVoltage(double charge, double watts) const;
  // Energy held at a charge, counted from empty.
  double energyAt(double charge) const;
  // The charge that holds `energy`; the inverse of `energyAt`.
  double chargeAt(double energy) const;
  // The most the pack accepts while charging: about 1 C up to 80 %, then
  // tapering to a trickle at full.
  double maxChargeWatts(double charge) const;

  // Cell voltage at a state of charge 0…1.
  static double cellVoltage(double stateOfCharge);

  static constexpr int kCells = 3;
  // Cells, welds, fuse and protection switches in series, at room temperature.
  static constexpr double kResistanceOhms = 0.12;

 private:
  static constexpr std::array<double, 13> kSoc = {0.0, 0.02, 0.05, 0.1, 0.2, 0.3, 0.4,
                                                  0.5, 0.6,  0.7,  0.8, 0.9, 1.0};
  static constexpr std::array<double, 13> kCellVolts = {3.30, 3.48, 3.58, 3.66, 3.73, 3.78, 3.82,
                                                        3.87, 3.94, 4.02, 4.10, 4.20, 4.32};
  double fullMAh_;
  double fullCharge_;
  std::array<double, 13> energyTable_{};  // energy held at each table point
};

}  // namespace ebbwise::sim

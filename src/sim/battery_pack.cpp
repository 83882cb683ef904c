#include "sim/battery_pack.h"

#include <algorithm>
#include <cmath>

namespace ebbwise::sim {

BatteryPack::BatteryPack(double fullMAh)
    : fullMAh_(std::max(fullMAh, 1.0)), fullCharge_(fullMAh_ * 3.6) {
  // Trapezoids are exact for a piecewise-linear voltage.
  energyTable_[0] = 0;
  for (std::size_t i = 1; i < kSoc.size(); ++i) {
    double ds = kSoc[i] - kSoc[i - 1];
    energyTable_[i] =
        energyTable_[i - 1] + fullCharge_ * ds * kCells * (kCellVolts[i] + kCellVolts[i - 1]) / 2;
  }
}

double BatteryPack::cellVoltage(double soc) {
  soc = std::clamp(soc, 0.0, 1.0);
  auto it = std::upper_bound(kSoc.begin(), kSoc.end(), soc);
  std::size_t i = it == kSoc.end() ? kSoc.size() - 2 : std::size_t(it - kSoc.begin()) - 1;
  double f = (soc - kSoc[i]) / (kSoc[i + 1] - kSoc[i]);
  return kCellVolts[i] + f * (kCellVolts[i + 1] - kCellVolts[i]);
}

double BatteryPack::voltageAt(double charge) const {
  return kCells * cellVoltage(charge / fullCharge_);
}

double BatteryPack::terminalVoltage(double charge, double watts) const {
  // With v = V + I·R and watts = v·I: R·I² + V·I − watts = 0. The root that
  // is 0 at no current, in the form that stays exact for small currents.
  const double open = voltageAt(charge);
  const double discriminant = open * open + 4 * kResistanceOhms * watts;
  // Beyond the most the pack can deliver (far above any laptop's draw) the
  // voltage has collapsed to half the open-circuit one.
  if (discriminant <= 0) return open / 2;
  const double amps = 2 * watts / (open + std::sqrt(discriminant));
  return open + amps * kResistanceOhms;
}

double BatteryPack::energyAt(double charge) const {
  double soc = std::clamp(charge / fullCharge_, 0.0, 1.0);
  auto it = std::upper_bound(kSoc.begin(), kSoc.end(), soc);
  std::size_t i = it == kSoc.end() ? kSoc.size() - 2 : std::size_t(it - kSoc.begin()) - 1;
  double x = soc - kSoc[i];
  return energyTable_[i] + fullCharge_ * x * kCells * (kCellVolts[i] + cellVoltage(soc)) / 2;
}

double BatteryPack::chargeAt(double energy) const {
  if (energy <= 0) return 0;
  if (energy >= fullEnergy()) return fullCharge_;
  auto it = std::upper_bound(energyTable_.begin(), energyTable_.end(), energy);
  std::size_t i = std::size_t(it - energyTable_.begin()) - 1;
  // Within a piece, energy = Q·(V0·x + m·x²/2) in the state of charge x past
  // the piece's start; solve for x in the form that stays exact when m is 0.
  double r = (energy - energyTable_[i]) / fullCharge_;
  double v0 = kCells * kCellVolts[i];
  double m = kCells * (kCellVolts[i + 1] - kCellVolts[i]) / (kSoc[i + 1] - kSoc[i]);
  double x = 2 * r / (v0 + std::sqrt(v0 * v0 + 2 * m * r));
  return std::min((kSoc[i] + x) * fullCharge_, fullCharge_);
}

double BatteryPack::maxChargeWatts(double charge) const {
  double oneC = fullEnergy() / 3600.0;
  double soc = charge / fullCharge_;
  if (soc < 0.8) return oneC;
  double f = std::clamp((1.0 - soc) / 0.2, 0.0, 1.0);
  return oneC * std::max(f, 0.06);
}

}  // namespace ebbwise::sim

#include "sensors/power/charge_flow.h"

namespace ebbwise {

ChargeFlow::State ChargeFlow::state() const {
  const double net = batteryWatts();
  if (net > kHoldingBand) return State::charging;
  if (net < -kHoldingBand) return State::draining;
  return State::holding;
}

std::optional<double> ChargeFlow::minutesToFull(double remainingWh, double fullWh) const {
  const double net = batteryWatts();
  if (!(remainingWh < fullWh) || !(net > kHoldingBand)) return std::nullopt;
  return (fullWh - remainingWh) / net * 60;
}

std::string ChargeFlow::chargerLabel(const std::optional<std::string>& name,
                                     std::optional<std::int64_t> watts,
                                     const std::optional<std::string>& brand) {
  if (name) return *name;
  if (!brand && !watts) return "Charger";
  std::string base = "USB-C charger";
  if (watts && *watts >= 1) base = std::to_string(*watts) + " W USB-C charger";
  return brand ? *brand + " " + base : base;
}

std::optional<std::string> ChargeFlow::chargerNote(std::optional<std::int64_t> rated,
                                                   std::optional<std::int64_t> delivering) {
  if (!rated || !delivering || *delivering < 1) return std::nullopt;
  // In floating point: a rating near the integer limit must not overflow.
  if (!(static_cast<double>(*rated) * 0.7 > static_cast<double>(*delivering))) return std::nullopt;
  return "Your " + std::to_string(*rated) + " W charger is giving " + std::to_string(*delivering) +
         " W. Another cable, or nothing else plugged into the charger, may charge faster.";
}

}  // namespace ebbwise

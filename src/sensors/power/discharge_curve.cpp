#include "sensors/power/discharge_curve.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace ebbwise::DischargeCurve {

namespace {

constexpr std::array<double, 12> kCharge = {0.0, 0.05, 0.1, 0.2, 0.3, 0.4,
                                            0.5, 0.6,  0.7, 0.8, 0.9, 1.0};
constexpr std::array<double, 12> kVolts = {3.00, 3.45, 3.57, 3.67, 3.73, 3.78,
                                           3.84, 3.91, 3.99, 4.07, 4.17, 4.30};

// The voltage integrated over the charge from empty up to each table point;
// the curve is straight between the points, so trapezoids are exact.
constexpr std::array<double, 12> integrals() {
  std::array<double, 12> sum{};
  for (std::size_t i = 1; i < kCharge.size(); ++i) {
    sum[i] = sum[i - 1] + (kVolts[i - 1] + kVolts[i]) / 2 * (kCharge[i] - kCharge[i - 1]);
  }
  return sum;
}
constexpr std::array<double, 12> kIntegral = integrals();

// The table segment that holds `s` (0…1).
std::size_t segment(double s) {
  std::size_t i = 0;
  while (i + 2 < kCharge.size() && s > kCharge[i + 1]) ++i;
  return i;
}

double clamped(double s) {
  return std::clamp(s, 0.0, 1.0);
}

}  // namespace

double cellVoltage(double stateOfCharge) {
  const double s = std::isnan(stateOfCharge) ? 0.0 : clamped(stateOfCharge);
  const std::size_t i = segment(s);
  const double t = (s - kCharge[i]) / (kCharge[i + 1] - kCharge[i]);
  return kVolts[i] + t * (kVolts[i + 1] - kVolts[i]);
}

double energyLeftFactor(double stateOfCharge) {
  if (std::isnan(stateOfCharge)) return 1.0;
  const double s = clamped(stateOfCharge);
  if (s <= 0) return 1.0;
  const std::size_t i = segment(s);
  const double volts = cellVoltage(s);
  const double integral = kIntegral[i] + (kVolts[i] + volts) / 2 * (s - kCharge[i]);
  return std::min(1.0, integral / (s * volts));
}

}  // namespace ebbwise::DischargeCurve

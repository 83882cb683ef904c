#include "sensors/power/discharge_curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ebbwise {
namespace {

// The energy left per unit of charge, integrated independently of the
// factor's own bookkeeping (fine midpoint steps over the cell's curve).
double meanVoltageToEmpty(double s) {
  constexpr int kSteps = 20000;
  double sum = 0;
  for (int i = 0; i < kSteps; ++i) sum += DischargeCurve::cellVoltage((i + 0.5) * s / kSteps);
  return sum / kSteps;
}

TEST(DischargeCurveTest, FactorIsTheMeanVoltageToEmptyOverTheVoltageNow) {
  for (double s : {0.01, 0.05, 0.07, 0.2, 0.33, 0.5, 0.78, 0.95, 1.0}) {
    const double expected = meanVoltageToEmpty(s) / DischargeCurve::cellVoltage(s);
    EXPECT_NEAR(DischargeCurve::energyLeftFactor(s), expected, 1e-6) << s;
  }
}

TEST(DischargeCurveTest, FullerBatteriesAreOverstatedMore) {
  // Below the plateau the knee near empty dominates; along it and above, the
  // fuller the battery, the larger the correction.
  double previous = 1.0;
  for (int percent = 40; percent <= 100; percent += 5) {
    const double factor = DischargeCurve::energyLeftFactor(percent / 100.0);
    EXPECT_LT(factor, previous) << percent;
    previous = factor;
  }
  for (int percent = 1; percent <= 100; ++percent) {
    const double factor = DischargeCurve::energyLeftFactor(percent / 100.0);
    EXPECT_GT(factor, 0.88) << percent;
    EXPECT_LT(factor, 1.0) << percent;
  }
  // About a tenth too much at full, a few percent near empty.
  EXPECT_NEAR(DischargeCurve::energyLeftFactor(1.0), 0.9, 0.02);
  EXPECT_NEAR(DischargeCurve::energyLeftFactor(0.1), 0.95, 0.02);
}

TEST(DischargeCurveTest, OutOfRangeChargeIsClampedAndNaNLeavesTheEnergyAlone) {
  EXPECT_EQ(DischargeCurve::energyLeftFactor(0), 1.0);
  EXPECT_EQ(DischargeCurve::energyLeftFactor(-0.2), 1.0);
  EXPECT_EQ(DischargeCurve::energyLeftFactor(std::numeric_limits<double>::quiet_NaN()), 1.0);
  EXPECT_EQ(DischargeCurve::energyLeftFactor(1.3), DischargeCurve::energyLeftFactor(1.0));
  EXPECT_EQ(DischargeCurve::cellVoltage(2), DischargeCurve::cellVoltage(1));
  EXPECT_EQ(DischargeCurve::cellVoltage(std::numeric_limits<double>::infinity()),
            DischargeCurve::cellVoltage(1));
}

}  // namespace
}  // namespace ebbwise

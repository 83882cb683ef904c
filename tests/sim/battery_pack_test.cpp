#include "sim/battery_pack.h"

#include <gtest/gtest.h>

namespace ebbwise::sim {
namespace {

TEST(BatteryPackTest, VoltageFollowsAPlausibleThreeCellPlateau) {
  BatteryPack pack(5630);
  double previous = 0;
  for (int i = 0; i <= 100; ++i) {
    double v = pack.voltageAt(pack.fullCharge() * i / 100);
    EXPECT_GT(v, previous) << i << "%";  // strictly rising: charge is readable from it
    previous = v;
  }
  EXPECT_NEAR(pack.voltageAt(0), 9.9, 0.05);
  EXPECT_NEAR(pack.voltageAt(pack.fullCharge()), 12.96, 0.05);
  // The flat middle of the curve sits around the nominal 11.4-11.7 V.
  EXPECT_GT(pack.voltageAt(pack.fullCharge() * 0.5), 11.3);
  EXPECT_LT(pack.voltageAt(pack.fullCharge() * 0.5), 11.9);
  // Out of range clamps instead of extrapolating.
  EXPECT_EQ(pack.voltageAt(-1), pack.voltageAt(0));
  EXPECT_EQ(pack.voltageAt(pack.fullCharge() * 2), pack.voltageAt(pack.fullCharge()));
}

TEST(BatteryPackTest, EnergyIsTheIntegralOfVoltageOverCharge) {
  BatteryPack pack(5630);
  // A fine midpoint sum of the voltage curve, independent of the pack's own
  // piecewise formula.
  const int steps = 200000;
  const double dq = pack.fullCharge() / steps;
  double sum = 0;
  for (int i = 0; i < steps; ++i) {
    sum += pack.voltageAt((i + 0.5) * dq) * dq;
    if ((i + 1) % 40000 == 0) {
      EXPECT_NEAR(pack.energyAt((i + 1) * dq), sum, sum * 1e-6);
    }
  }
  EXPECT_NEAR(pack.fullEnergy(), sum, sum * 1e-6);
  // About 65 Wh for a 5630 mAh pack.
  EXPECT_NEAR(pack.fullEnergy() / 3600, 65.5, 1.5);
}

TEST(BatteryPackTest, ChargeAndEnergyConvertBothWays) {
  BatteryPack pack(4321);
  for (int i = 0; i <= 1000; ++i) {
    double q = pack.fullCharge() * i / 1000;
    EXPECT_NEAR(pack.chargeAt(pack.energyAt(q)), q, 1e-6) << i;
  }
  EXPECT_EQ(pack.chargeAt(-5), 0);
  EXPECT_EQ(pack.chargeAt(pack.fullEnergy() * 2), pack.fullCharge());
}

TEST(BatteryPackTest, ChargingTapersNearFullButNeverStops) {
  BatteryPack pack(5630);
  const double oneC = pack.fullEnergy() / 3600;
  EXPECT_DOUBLE_EQ(pack.maxChargeWatts(pack.fullCharge() * 0.5), oneC);
  EXPECT_DOUBLE_EQ(pack.maxChargeWatts(pack.fullCharge() * 0.79), oneC);
  EXPECT_LT(pack.maxChargeWatts(pack.fullCharge() * 0.9), oneC * 0.6);
  EXPECT_GT(pack.maxChargeWatts(pack.fullCharge() * 0.999), 0);
  double previous = oneC;
  for (int i = 80; i <= 100; ++i) {
    double w = pack.maxChargeWatts(pack.fullCharge() * i / 100);
    EXPECT_LE(w, previous);
    previous = w;
  }
}

}  // namespace
}  // namespace ebbwise::sim

#include "sim/battery_pack.h"

#include <gtest/gtest.h>

namespace ebbwise::sim {
namespace {

TEST(BatteryPackTest, EnergyIsTheIntegralOfARisingVoltageAndConvertsBack) {
  BatteryPack pack(5630);
  // A fine midpoint sum of the voltage curve, independent of the pack's own
  // piecewise formula; the voltage rises strictly so charge is readable from it.
  const int steps = 200000;
  const double dq = pack.fullCharge() / steps;
  double sum = 0, previous = 0;
  for (int i = 0; i < steps; ++i) {
    const double v = pack.voltageAt((i + 0.5) * dq);
    ASSERT_GT(v, previous) << i;
    previous = v;
    sum += v * dq;
    if ((i + 1) % 20000 == 0) {
      EXPECT_NEAR(pack.energyAt((i + 1) * dq), sum, sum * 1e-6) << i;
      EXPECT_NEAR(pack.chargeAt(pack.energyAt((i + 1) * dq)), (i + 1) * dq, 1e-6) << i;
    }
  }
  EXPECT_NEAR(pack.fullEnergy() / 3600, 65.5, 1.5);  // about 65 Wh
  // Out of range clamps instead of extrapolating.
  EXPECT_EQ(pack.voltageAt(-1), pack.voltageAt(0));
  EXPECT_EQ(pack.chargeAt(-5), 0);
  EXPECT_EQ(pack.chargeAt(pack.fullEnergy() * 2), pack.fullCharge());
}

TEST(BatteryPackTest, ChargingTapersNearFullButNeverStops) {
  BatteryPack pack(5630);
  const double oneC = pack.fullEnergy() / 3600;
  EXPECT_DOUBLE_EQ(pack.maxChargeWatts(pack.fullCharge() * 0.79), oneC);
  EXPECT_LT(pack.maxChargeWatts(pack.fullCharge() * 0.9), oneC * 0.6);
  EXPECT_GT(pack.maxChargeWatts(pack.fullCharge() * 0.999), 0);
  double previous = oneC;
  for (int i = 80; i <= 100; ++i) {
    EXPECT_LE(pack.maxChargeWatts(pack.fullCharge() * i / 100), previous) << i;
    previous = pack.maxChargeWatts(pack.fullCharge() * i / 100);
  }
}

}  // namespace
}  // namespace ebbwise::sim

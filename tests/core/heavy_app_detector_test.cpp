#include "core/heavy_app_detector.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ebbwise {
namespace {

using AppWatts = HeavyAppDetector::AppWatts;
constexpr double kTick = 5.0;

// Feeds `watts` for one app every 5 seconds on battery; the tick of the first alert, or 0.
int ticksUntilAlert(double watts, int limit) {
  HeavyAppDetector detector(2.0, 180.0, 1800.0);
  for (int i = 1; i <= limit; ++i) {
    if (!detector.update({{"App", watts * kTick}}, kTick, true, sys::Date{i * kTick}).empty()) {
      return i;
    }
  }
  return 0;
}

// A new app rises from 0 (not from its first sample), crossing 2 W after
// 180 × ln(w / (w − 2)) seconds: 125 s at 4 W, 45 s at 10 W, never below 2 W.
TEST(HeavyAppDetector, NewAppCrossesTheThresholdAfterTheSmoothingTime) {
  EXPECT_EQ(ticksUntilAlert(4.0, 100), 25);
  EXPECT_EQ(ticksUntilAlert(10.0, 100), 9);
  EXPECT_EQ(ticksUntilAlert(1.99, 2000), 0);
}

// With a negligible smoothing time the averages follow each tick exactly.
TEST(HeavyAppDetector, ThresholdIncludedSortedAndHeldByTheCooldown) {
  HeavyAppDetector detector(2.0, 1e-9, 1800.0);
  auto feed = [&](double at, std::unordered_map<std::string, double> watts) {
    for (auto& entry : watts) entry.second *= kTick;
    return detector.update(watts, kTick, true, sys::Date{at});
  };
  EXPECT_EQ(feed(0, {{"Low", 2}, {"High", 9}, {"Quiet", 1.9}}),
            (AppWatts{{"High", 9}, {"Low", 2}}));
  EXPECT_EQ(detector.above(), (AppWatts{{"High", 9}, {"Low", 2}}));
  EXPECT_TRUE(feed(60, {{"Low", 0.5}, {"High", 9}}).empty());
  EXPECT_TRUE(feed(1799, {{"Low", 3}, {"High", 9}}).empty()) << "dipped and rose within 30 min";
  EXPECT_EQ(feed(1800, {{"Low", 3}, {"High", 9}}), (AppWatts{{"High", 9}, {"Low", 3}}));
}

TEST(HeavyAppDetector, AveragesMoveOnACAndFadeOutOnceIdle) {
  HeavyAppDetector detector(2.0, 180.0, 1800.0);
  double t = 0;
  for (int i = 0; i < 60; ++i)
    EXPECT_TRUE(detector.update({{"App", 50}}, kTick, false, sys::Date{t += kTick}).empty());
  EXPECT_EQ(detector.update({{"App", 50}}, kTick, true, sys::Date{t += kTick}).size(), 1u);
  while (!detector.averages().empty() && t < 1e5)
    detector.update({}, kTick, true, sys::Date{t += kTick});
  EXPECT_LT(t, 1e5) << "an idle app's average is removed below 0.01 W";
  detector.update({{"App", 4 * kTick}}, kTick, true, sys::Date{t += kTick});
  EXPECT_NEAR(*detector.averages().at("App").value, 4 * (1 - std::exp(-kTick / 180)), 1e-12);
}

}  // namespace
}  // namespace ebbwise

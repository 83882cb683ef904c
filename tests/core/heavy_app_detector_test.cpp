#include "core/heavy_app_detector.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ebbwise {
namespace {

using Joules = std::unordered_map<std::string, double>;
using AppWatts = HeavyAppDetector::AppWatts;

constexpr double kTick = 5.0;

// The tracker's settings: 2 W, 3-minute smoothing, 30-minute cooldown.
HeavyAppDetector trackerDetector() {
  return HeavyAppDetector(2.0, 180.0, 1800.0);
}

// A detector whose averages follow each sample exactly.
HeavyAppDetector instantDetector() {
  return HeavyAppDetector(2.0, 1e-9, 1800.0);
}

// Feeds `watts` for `app` until the first alert; the tick count, or -1.
int ticksUntilAlert(HeavyAppDetector& detector, double watts, int limit) {
  for (int i = 1; i <= limit; ++i) {
    if (!detector.update({{"App", watts * kTick}}, kTick, true, sys::Date{i * kTick}).empty()) {
      return i;
    }
  }
  return -1;
}

TEST(HeavyAppDetector, NewAppRisesFromZeroAndCrossesAfterTheExpectedTime) {
  struct Case {
    double watts;
    int ticks;  // crossing at 180 × ln(w / (w − 2)) seconds, rounded up to a tick
  };
  for (Case c : {Case{4.0, 25}, Case{10.0, 9}}) {
    auto detector = trackerDetector();
    EXPECT_EQ(ticksUntilAlert(detector, c.watts, 100), c.ticks) << c.watts;
  }
  auto detector = trackerDetector();
  EXPECT_EQ(ticksUntilAlert(detector, 1.99, 2000), -1);
}

TEST(HeavyAppDetector, AlertAtExactlyTheThresholdWithItsSmoothedWatts) {
  auto detector = instantDetector();
  auto alerts = detector.update({{"App", 2.0 * kTick}}, kTick, true, sys::Date{0});
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0].first, "App");
  EXPECT_DOUBLE_EQ(alerts[0].second, 2.0);
}

TEST(HeavyAppDetector, OnACAveragesMoveButNothingIsReported) {
  auto detector = trackerDetector();
  for (int i = 1; i <= 60; ++i) {
    EXPECT_TRUE(detector.update({{"App", 50.0}}, kTick, false, sys::Date{i * kTick}).empty());
  }
  ASSERT_EQ(detector.averages().count("App"), 1u);
  EXPECT_GT(*detector.averages().at("App").value, 2.0);
  // Unplugged, the app that was already heavy is reported at once.
  EXPECT_EQ(detector.update({{"App", 50.0}}, kTick, true, sys::Date{305}).size(), 1u);
}

TEST(HeavyAppDetector, CooldownHoldsEvenWhenTheAppDipsAndRises) {
  auto detector = instantDetector();
  auto feed = [&](double watts, double at) {
    return detector.update({{"App", watts * kTick}}, kTick, true, sys::Date{at});
  };
  EXPECT_EQ(feed(3, 0).size(), 1u);
  EXPECT_TRUE(feed(3, 60).empty());
  EXPECT_TRUE(feed(0.5, 120).empty());
  EXPECT_TRUE(feed(3, 600).empty());
  EXPECT_TRUE(feed(3, 1799).empty());
  EXPECT_EQ(feed(3, 1800).size(), 1u);
}

TEST(HeavyAppDetector, FadedAverageIsRemovedAndStartsFromZeroAgain) {
  auto detector = trackerDetector();
  detector.update({{"App", 4.0 * kTick}}, kTick, true, sys::Date{0});
  int ticks = 0;
  while (detector.averages().count("App") && ticks < 1000) {
    detector.update({}, kTick, true, sys::Date{++ticks * kTick});
  }
  EXPECT_TRUE(detector.averages().empty());
  detector.update({{"App", 4.0 * kTick}}, kTick, true, sys::Date{++ticks * kTick});
  EXPECT_NEAR(*detector.averages().at("App").value, 4.0 * (1 - std::exp(-kTick / 180.0)), 1e-12);
}

TEST(HeavyAppDetector, NoTimeChangesNothing) {
  auto detector = trackerDetector();
  detector.update({{"App", 10.0}}, kTick, true, sys::Date{0});
  auto before = detector.averages();
  for (double dt : {0.0, -5.0}) {
    EXPECT_TRUE(detector.update({{"App", 1e6}, {"New", 1e6}}, dt, true, sys::Date{5}).empty());
    EXPECT_EQ(detector.averages(), before);
  }
}

TEST(HeavyAppDetector, ResultsAreSortedHighestFirst) {
  auto detector = instantDetector();
  auto alerts = detector.update(
      {{"Low", 3 * kTick}, {"High", 9 * kTick}, {"Mid", 5 * kTick}, {"Quiet", 1 * kTick}}, kTick,
      true, sys::Date{0});
  EXPECT_EQ(alerts, (AppWatts{{"High", 9}, {"Mid", 5}, {"Low", 3}}));
  // `above` reports the same apps without touching the cooldown.
  EXPECT_EQ(detector.above(), alerts);
  detector.thresholdWatts = 4;
  EXPECT_EQ(detector.above(), (AppWatts{{"High", 9}, {"Mid", 5}}));
  EXPECT_TRUE(detector.update({{"High", 9 * kTick}}, kTick, true, sys::Date{5}).empty());
}

}  // namespace
}  // namespace ebbwise

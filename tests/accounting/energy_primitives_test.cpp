#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>

#include "accounting/energy_tracker.h"
#include "accounting/heavy_app_detector.h"
#include "accounting/rolling_watts.h"
#include "accounting/smoothed_value.h"

namespace ebbwise {
namespace {

using Watts = RollingWatts<std::string>;
using AppWatts = HeavyAppDetector::AppWatts;
constexpr double kTick = 5.0;

TEST(SmoothedValueTest, WeightGrowsWithElapsedTimeAndBadInputChangesNothing) {
  SmoothedValue s(180);
  s.add(NAN, 5);   // not even as the first sample
  s.add(10, 1e6);  // the first sample is taken as is, whatever the interval
  s.add(20, 5);
  EXPECT_NEAR(*s.value, 10.274, 0.001);
  // A zero interval with an infinite sample (energy over no time) would
  // otherwise make the value NaN for good; a negative one would extrapolate.
  const std::pair<double, double> ignored[] = {
      {20, 0}, {20, -30}, {20, NAN}, {INFINITY, 0}, {-INFINITY, 5}};
  for (auto [sample, dt] : ignored) {
    s.add(sample, dt);
    EXPECT_NEAR(*s.value, 10.274, 0.001) << sample << " over " << dt;
  }
}

TEST(RollingWattsTest, KeepsTheShortestRunCoveringTheWindowAndOnlyPositiveTotals) {
  Watts w(30);
  w.add({{"a", 50}}, 5);  // only in the tick that will fall out
  for (int i = 0; i < 6; ++i) w.add({{"b", 10}, {"zero", i % 2 ? 3 : -3}, {"nan", NAN}}, 5);
  EXPECT_EQ(w.values(), (Watts::Joules{{"b", 2}}));
  w.keep({});  // what is dropped stays out of later averages too
  w.add({{"b", 15}}, 5);
  EXPECT_EQ(w.values(), (Watts::Joules{{"b", 0.5}}));
}

// A window of no time must not drop the tick just added (that left nothing to
// average over); a tick without usable time is ignored.
TEST(RollingWattsTest, ShortWindowsAndUnusableTicksKeepTheNewestUsableTick) {
  for (double window : {5.0, 0.0, -10.0}) {
    Watts w(window);
    w.add({{"a", 10}}, 5);
    w.add({{"a", 20}}, 5);
    for (double dt : {0.0, -5.0, double(NAN), double(INFINITY)}) w.add({{"a", 1e3}, {"b", 5}}, dt);
    EXPECT_EQ(w.periods().size(), 1u) << window;
    EXPECT_EQ(w.values(), (Watts::Joules{{"a", 4}})) << window;
  }
}

// Processes started before the launch count from first sight, later ones from
// birth; a falling counter is a new baseline; a process missing from a scan
// counts from where it was last seen, and a reused pid with a new start time
// is another process.
TEST(EnergyTrackerTest, DifferencesCountersPerProcess) {
  using Deltas = std::unordered_map<ProcessKey, double>;
  auto sample = [](std::int32_t pid, std::uint64_t start, double joules) {
    return ProcessSample{ProcessKey{pid, start}, static_cast<std::uint64_t>(joules * 1e9)};
  };
  EnergyTracker t(1000);
  EXPECT_EQ(t.deltas({sample(1, 10, 5), sample(2, 1000, 2), sample(3, 3000, 0)}),
            (Deltas{{{2, 1000}, 2}}));
  EXPECT_EQ(t.deltas({sample(1, 10, 5.5), sample(3, 3000, 0.25)}),
            (Deltas{{{1, 10}, 0.5}, {{3, 3000}, 0.25}}));
  EXPECT_TRUE(t.deltas({sample(1, 10, 4), sample(3, 3000, 0.25)}).empty());
  EXPECT_EQ(t.deltas({sample(1, 10, 4.5), sample(2, 1000, 3)}),
            (Deltas{{{1, 10}, 0.5}, {{2, 1000}, 1}}));
  t.deltas({sample(2, 1000, 3)});
  EXPECT_EQ(t.deltas({sample(1, 10, 9), sample(1, 4000, 3)}),
            (Deltas{{{1, 10}, 4.5}, {{1, 4000}, 3}}));
}

// A process born after the launch whose counter could not be read for a scan
// or longer: its lifetime energy was counted once, and must never be again.
TEST(EnergyTrackerTest, AProcessMissingFromScansIsNeverCountedTwice) {
  using Deltas = std::unordered_map<ProcessKey, double>;
  auto sample = [](std::int32_t pid, std::uint64_t start, double joules) {
    return ProcessSample{ProcessKey{pid, start}, static_cast<std::uint64_t>(joules * 1e9)};
  };
  EnergyTracker t(1000);
  const auto early = sample(1, 10, 50);  // running before the launch
  EXPECT_EQ(t.deltas({early, sample(2, 2000, 3600)}), (Deltas{{{2, 2000}, 3600}}));
  EXPECT_TRUE(t.deltas({early}).empty());
  EXPECT_TRUE(t.lostOrRepeated());
  EXPECT_EQ(t.lastEnergy(ProcessKey{2, 2000}), std::nullopt);
  // Back a scan later: only what it used since it was last read.
  EXPECT_EQ(t.deltas({early, sample(2, 2000, 3605)}), (Deltas{{{2, 2000}, 5}}));

  // Missing for longer than it is remembered: back, it counts from there.
  for (std::uint64_t i = 0; i < EnergyTracker::kRememberCalls + 24; ++i) t.deltas({early});
  EXPECT_TRUE(t.deltas({early, sample(2, 2000, 7200)}).empty());
  EXPECT_EQ(t.deltas({early, sample(2, 2000, 7201)}), (Deltas{{{2, 2000}, 1}}));

  // First listed now: a process born since the last scan counts from birth;
  // one born before a process already seen was alive at that scan (its
  // counter could not be read) and counts from here.
  EXPECT_EQ(t.deltas({early, sample(2, 2000, 7201), sample(3, 1500, 40), sample(4, 3000, 2)}),
            (Deltas{{{4, 3000}, 2}}));
  EXPECT_FALSE(t.lostOrRepeated()) << "no process of the previous scan is missing";
}

// A new app rises from 0 (not from its first sample), crossing 2 W after
// 180 × ln(w / (w − 2)) seconds: 125 s at 4 W, 45 s at 10 W, never below 2 W.
TEST(HeavyAppDetector, NewAppCrossesTheThresholdAfterTheSmoothingTime) {
  for (auto [watts, alertTick] : {std::pair{4.0, 25}, {10.0, 9}, {1.99, 0}}) {
    HeavyAppDetector detector(2.0, 180.0, 1800.0);
    int tick = 0;
    for (int i = 1; i <= 2000 && tick == 0; ++i) {
      if (!detector.update({{"App", watts * kTick}}, kTick, true, sys::Date{i * kTick}).empty()) {
        tick = i;
      }
    }
    EXPECT_EQ(tick, alertTick) << watts;
  }
}

// With a negligible smoothing time the averages follow each tick exactly.
TEST(HeavyAppDetector, AlertsOnBatteryFromTheThresholdSortedAndHeldByTheCooldown) {
  HeavyAppDetector detector(2.0, 1e-9, 1800.0);
  auto feed = [&](double at, std::unordered_map<std::string, double> watts, bool onBattery = true) {
    for (auto& entry : watts) entry.second *= kTick;
    return detector.update(watts, kTick, onBattery, sys::Date{at});
  };
  EXPECT_TRUE(feed(-5, {{"High", 9}}, false).empty());
  EXPECT_EQ(feed(0, {{"Low", 2}, {"High", 9}, {"Quiet", 1.9}}),
            (AppWatts{{"High", 9}, {"Low", 2}}));
  EXPECT_TRUE(feed(60, {{"Low", 0.5}, {"High", 9}}).empty());
  EXPECT_TRUE(feed(1799, {{"Low", 3}, {"High", 9}}).empty()) << "dipped and rose within 30 min";
  EXPECT_EQ(feed(1800, {{"Low", 3}, {"High", 9}}), (AppWatts{{"High", 9}, {"Low", 3}}));
}

}  // namespace
}  // namespace ebbwise

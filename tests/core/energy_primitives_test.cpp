#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "core/energy_tracker.h"
#include "core/rolling_watts.h"
#include "core/smoothed_value.h"

namespace ebbwise {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

TEST(SmoothedValueTest, WeightGrowsWithElapsedTime) {
  SmoothedValue s(180);
  s.add(10, 1e6);  // the first sample is taken as is, whatever the interval
  EXPECT_EQ(s.value, 10);
  s.add(20, 5);
  EXPECT_NEAR(*s.value, 10.274, 0.001);
  s.add(0, 1e6);  // long past the time constant: the sample wins
  EXPECT_NEAR(*s.value, 0, 1e-9);

  s.reset();
  s.add(7, 0);
  EXPECT_EQ(s.value, 7);
}

TEST(SmoothedValueTest, NoElapsedTimeOrBadSamplesChangeNothing) {
  SmoothedValue s(180);
  s.add(nan, 5);  // not even as the first sample
  s.add(inf, 5);
  EXPECT_FALSE(s.value);
  s.add(10, 5);
  // A zero interval with an infinite sample (energy over no time) would
  // otherwise make the value NaN for good.
  const std::pair<double, double> ignored[] = {{20, 0},  {20, -30}, {20, nan},
                                               {inf, 0}, {nan, 5},  {-inf, 5}};
  for (auto [sample, dt] : ignored) {
    s.add(sample, dt);
    EXPECT_EQ(s.value, 10) << sample << " over " << dt;
  }
}

using Watts = RollingWatts<std::string>;

TEST(RollingWattsTest, KeepsTheShortestRunCoveringTheWindow) {
  Watts w(30);
  w.add({{"a", 50}}, 5);  // only in the tick that will fall out
  for (int i = 0; i < 6; ++i) w.add({{"b", 10}}, 5);
  EXPECT_EQ(w.periods().size(), 6u);
  EXPECT_EQ(w.coveredSeconds(), 30);
  EXPECT_FALSE(w.values().contains("a"));
  EXPECT_DOUBLE_EQ(w.values().at("b"), 2);

  // Irregular spacing: two 20-second ticks are both needed to cover 30.
  Watts irregular(30);
  irregular.add({{"a", 20}}, 20);
  irregular.add({{"a", 60}}, 20);
  EXPECT_EQ(irregular.periods().size(), 2u);
  EXPECT_DOUBLE_EQ(irregular.values().at("a"), 2);
  irregular.add({{"a", 0}}, 40);
  EXPECT_EQ(irregular.periods().size(), 1u);
  EXPECT_TRUE(irregular.values().empty());
}

TEST(RollingWattsTest, ShortWindowsKeepTheNewestTick) {
  // A 5-second window keeps one tick; a window of no time must not drop the
  // tick just added (that left nothing to average over).
  for (double window : {5.0, 0.0, -10.0}) {
    Watts w(window);
    w.add({{"a", 10}}, 5);
    w.add({{"a", 20}}, 5);
    ASSERT_EQ(w.periods().size(), 1u) << window;
    EXPECT_DOUBLE_EQ(w.values().at("a"), 4) << window;
  }
}

TEST(RollingWattsTest, TicksWithoutUsableTimeAreIgnored) {
  Watts w(30);
  w.add({{"a", 10}}, 5);
  for (double dt : {0.0, -5.0, nan, inf}) {
    w.add({{"a", 1000}, {"b", 5}}, dt);
    EXPECT_EQ(w.periods().size(), 1u) << dt;
    EXPECT_EQ(w.values(), (Watts::Joules{{"a", 2}})) << dt;
  }
}

TEST(RollingWattsTest, OnlyPositiveTotalsAreReported) {
  Watts w(30);
  w.add({{"zero", 3}, {"neg", -1}, {"nan", nan}, {"pos", 1}}, 5);
  w.add({{"zero", -3}}, 5);
  EXPECT_EQ(w.values(), (Watts::Joules{{"pos", 0.1}}));
}

TEST(RollingWattsTest, KeepFiltersWithoutRecomputing) {
  Watts w(30);
  w.add({{"a", 10}, {"b", 20}}, 5);
  w.add({{"a", 10}, {"b", 20}}, 5);
  w.keep({"a"});
  EXPECT_EQ(w.values(), (Watts::Joules{{"a", 2}}));
  for (const auto& p : w.periods()) EXPECT_FALSE(p.joules.contains("b"));

  w.keep({});
  EXPECT_TRUE(w.values().empty());
  EXPECT_EQ(w.periods().size(), 2u);
  EXPECT_EQ(w.coveredSeconds(), 10);

  // The dropped energy is gone from later averages too.
  w.add({{"b", 15}}, 5);
  EXPECT_EQ(w.values(), (Watts::Joules{{"b", 1}}));

  w.reset();
  EXPECT_TRUE(w.periods().empty());
  EXPECT_TRUE(w.values().empty());
  EXPECT_EQ(w.window(), 30);
}

ProcessSample sample(std::int32_t pid, std::uint64_t start, std::uint64_t nj) {
  return ProcessSample{ProcessKey{pid, start}, nj};
}

TEST(EnergyTrackerTest, CountsFromFirstSightOrFromBirth) {
  EnergyTracker t(1000);
  auto first =
      t.deltas({sample(1, 999, 5'000'000'000), sample(2, 1000, 2'000'000'000), sample(3, 5000, 0)});
  // The old process counts nothing yet; the one started at the boundary counts
  // its whole counter; one with no energy is absent.
  EXPECT_EQ(first, (std::unordered_map<ProcessKey, double>{{ProcessKey{2, 1000}, 2.0}}));

  auto second = t.deltas({sample(1, 999, 5'500'000'000), sample(2, 1000, 2'000'000'000),
                          sample(3, 5000, 250'000'000)});
  EXPECT_EQ(second, (std::unordered_map<ProcessKey, double>{{ProcessKey{1, 999}, 0.5},
                                                            {ProcessKey{3, 5000}, 0.25}}));
}

TEST(EnergyTrackerTest, ACounterThatFallsBecomesTheNewBaseline) {
  EnergyTracker t(0);
  t.deltas({sample(1, 10, 9'000'000'000)});
  EXPECT_TRUE(t.deltas({sample(1, 10, 4'000'000'000)}).empty());
  EXPECT_EQ(t.lastEnergy(ProcessKey{1, 10}), 4'000'000'000u);
  auto next = t.deltas({sample(1, 10, 4'000'000'001)});
  EXPECT_DOUBLE_EQ(next.at(ProcessKey{1, 10}), 1e-9);
}

TEST(EnergyTrackerTest, ProcessesMissingFromACallAreForgotten) {
  EnergyTracker t(1000);
  t.deltas({sample(1, 10, 100), sample(2, 20, 100)});
  t.deltas({sample(2, 20, 200)});
  EXPECT_FALSE(t.lastEnergy(ProcessKey{1, 10}));
  // Seen again, it is first seen: an old process contributes nothing.
  auto back = t.deltas({sample(1, 10, 7'000'000'000), sample(2, 20, 300)});
  EXPECT_EQ(back, (std::unordered_map<ProcessKey, double>{{ProcessKey{2, 20}, 1e-7}}));

  // A reused pid with a new start time is another process.
  auto reused = t.deltas({sample(1, 10, 7'000'000'000), sample(1, 4000, 3'000'000'000)});
  EXPECT_EQ(reused, (std::unordered_map<ProcessKey, double>{{ProcessKey{1, 4000}, 3.0}}));
}

TEST(EnergyTrackerTest, TellsWhenAProcessLeftOrWasListedTwice) {
  EnergyTracker t(0);
  t.deltas({sample(1, 10, 100), sample(2, 20, 100)});
  EXPECT_FALSE(t.lostOrRepeated());
  t.deltas({sample(1, 10, 200), sample(2, 20, 200), sample(3, 30, 100)});
  EXPECT_FALSE(t.lostOrRepeated()) << "a newcomer is no loss";
  t.deltas({sample(1, 10, 300), sample(3, 30, 200)});
  EXPECT_TRUE(t.lostOrRepeated());
  EXPECT_EQ(t.size(), 2u);

  // Listed twice: both readings are measured from the previous call's
  // counter, and the later one stands.
  auto twice = t.deltas({sample(1, 10, 400), sample(3, 30, 900), sample(3, 30, 700)});
  EXPECT_TRUE(t.lostOrRepeated());
  EXPECT_EQ(twice, (std::unordered_map<ProcessKey, double>{{ProcessKey{1, 10}, 1e-7},
                                                           {ProcessKey{3, 30}, 5e-7}}));
  EXPECT_EQ(t.lastEnergy(ProcessKey{3, 30}), 700u);
  t.deltas({sample(1, 10, 500), sample(3, 30, 800)});
  EXPECT_FALSE(t.lostOrRepeated());
}

}  // namespace
}  // namespace ebbwise

#include "core/tracker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

#include "core/discharge_curve.h"
#include "core/history_test_support.h"

namespace ebbwise {
namespace {

using test::ProcessCounters;
using test::FakeReaders;
using test::reading;
using test::TempFolder;

constexpr std::uint64_t kLaunch = 1000;  // processes started before this count from first sight

// The bucket starts where its first tick's interval starts, so the tick 60
// seconds after that closes it; a power change closes it at once.
TEST(MinuteBucket, ClosesSixtySecondsAfterItsStartOrAtAPowerChange) {
  MinuteBucket bucket;
  for (int i = 1; i <= 11; ++i) {
    EXPECT_FALSE(bucket.add(i * 5.0, 5, reading(false, 90 - i, i <= 5 ? -6 : -12), {{"A", 1}}));
  }
  auto record = bucket.add(60, 5, reading(false), {{"A", 100}});
  ASSERT_TRUE(record);
  EXPECT_EQ(*record,
            (HistoryRecord{55, 55, 79, (5 * -6 + 6 * -12) * 5 / 55.0, false, {{"A", 11}}}));
  record = bucket.add(65, 5, reading(true, 70, 30), {});
  ASSERT_TRUE(record);
  EXPECT_EQ(*record, (HistoryRecord{60, 5, 80, -10, false, {{"A", 100}}}));
  EXPECT_EQ(bucket.flush(), (HistoryRecord{65, 5, 70, 30, true, {}}));
  EXPECT_FALSE(bucket.flush());
}

class TrackerTest : public ::testing::Test {
 protected:
  std::unique_ptr<Tracker> make(double now = 0) {
    return std::make_unique<Tracker>(std::make_unique<Store>(path), sys::Date{now}, kLaunch,
                                     fake.readers());
  }
  std::vector<HeavyAppAlert> tick(Tracker& tracker, double at, const BatteryReading& battery) {
    return tracker.tick(sys::Date{at}, battery, processes.samples());
  }

  TempFolder folder;
  std::string path = folder.file("history.sqlite");
  FakeReaders fake;
  ProcessCounters processes;
};

TEST_F(TrackerTest, FirstTickAndTicksAfterAGapAreNotAccounted) {
  for (double gap : {14.9, 15.0, 3600.0}) {
    const bool accounted = gap < 15;
    path = folder.file(std::to_string(gap));
    processes.start(1, kLaunch + 1, 5);  // born after launch, but its first tick counts nothing
    auto tracker = make();
    tick(*tracker, 0, reading(false, 77));
    EXPECT_EQ(tracker->session(), (Session{sys::Date{0}, 77, 0, {}, {}}));
    processes.use(1, 10);
    tick(*tracker, 5, reading(false));
    processes.use(1, 100);
    tick(*tracker, 5 + gap, reading(false));
    EXPECT_NEAR(tracker->session()->batteryJoules, accounted ? 50 + 10 * gap : 50, 1e-9) << gap;
    EXPECT_EQ(tracker->appWatts().empty(), !accounted) << gap;
    EXPECT_EQ(tracker->processWatts().empty(), !accounted) << gap;
    processes.use(1, 5);  // the tick after a gap counts again
    tick(*tracker, 10 + gap, reading(false));
    EXPECT_EQ(tracker->session()->appJoules.at("app 1"), accounted ? 115 : 15) << gap;
    tracker->flush();
    EXPECT_EQ(tracker->store().lastRecord()->ts, 10 + gap);
  }
}

TEST_F(TrackerTest, UnplugAndPlugInMoveTheSessionAndTheDrainWindows) {
  fake.system = SystemEnergy{50, 150, 5};  // 10 W used, 30 W in
  auto tracker = make();
  for (int t = 0; t <= 20; t += 5) tick(*tracker, t, reading(true, 70, 20));
  EXPECT_FALSE(tracker->session());
  EXPECT_EQ(tracker->nowInWatts(), 30);
  EXPECT_EQ(tracker->lastChargeWatts(), 20);

  fake.system = SystemEnergy{50, 0, 5};
  tick(*tracker, 25, reading(false, 69));
  EXPECT_EQ(tracker->session(), (Session{sys::Date{25}, 69, 50, {}, {}}));
  EXPECT_FALSE(tracker->nowDrainWatts()) << "the switching tick feeds no drain window";
  EXPECT_EQ(tracker->lastChargeWatts(), 0);
  tick(*tracker, 30, reading(false));
  fake.system = SystemEnergy{100, 0, 5};
  tick(*tracker, 35, reading(false));
  EXPECT_EQ(tracker->nowDrainWatts(), 20) << "the 5-second window just after a switch";
  EXPECT_EQ(tracker->nowUsedWatts(), 20);
  fake.system = SystemEnergy{50, 0, 5};
  for (int t = 40; t <= 55; t += 5) tick(*tracker, t, reading(false));
  EXPECT_DOUBLE_EQ(*tracker->nowDrainWatts(), 70 / 6.0) << "30 s after: ticks 30..55";
  EXPECT_DOUBLE_EQ(*tracker->averageDrainWatts15(), 400 / 35.0) << "since the unplug";

  fake.system = SystemEnergy{50, 150, 5};
  const Session session = *tracker->session();
  tick(*tracker, 60, reading(true));
  EXPECT_EQ(tracker->session(), session);
  EXPECT_FALSE(tracker->nowDrainWatts());
  EXPECT_FALSE(tracker->minutesLeft());
  EXPECT_EQ(tracker->nowInWatts(), 0) << "present on AC even before a tick is windowed";
}

// Construction prunes rows older than 90 days, loads the bundle paths and finds
// the session the history shows running; the first tick adopts it.
TEST_F(TrackerTest, ConstructionPrunesLoadsAndRestoresARecentSession) {
  struct Case {
    double age;
    bool lastOnAC, firstTickOnAC, adopted;
  };
  for (Case c : {Case{899, false, false, true}, Case{900, false, false, false},
                 Case{600, true, false, false}, Case{600, false, true, false}}) {
    TempFolder history;
    path = history.file("h.sqlite");
    {
      Store store(path);
      store.write(HistoryRecord{1000 - Tracker::keepHistory, 60, 50, -5, false, {{"Old", 1}}});
      store.rememberBundle("A", "/Applications/A.app");
      store.write(HistoryRecord{880, 60, 99, 40, true, {{"A", 50}}});
      store.write(HistoryRecord{940, 60, 98, -10, false, {{"A", 30}, {"B", 5}}});
      store.write(HistoryRecord{1000, 60, 97, -5, false, {{"A", 20}}});
      store.write(HistoryRecord{1000.5, 0.5, 97, -2, c.lastOnAC, {}});
    }
    const double now = 1000.5 + c.age;
    auto tracker = make(now);
    EXPECT_EQ(tracker->store().batteryPoints(-1e9).size(), 4u);
    EXPECT_EQ(tracker->bundlePaths().at("A"), "/Applications/A.app");
    if (c.firstTickOnAC) tick(*tracker, now - 5, reading(true));
    tick(*tracker, now, reading(false, 42));
    if (c.adopted) {
      EXPECT_EQ(tracker->session(), (Session{sys::Date{880}, 98, 901, {{"A", 50}, {"B", 5}}, {}}));
    } else {
      // The unplug tick itself is accounted.
      double joules = c.firstTickOnAC ? 50 : 0;
      EXPECT_EQ(tracker->session(), (Session{sys::Date{now}, 42, joules, {}, {}})) << c.age;
    }
  }
}

TEST_F(TrackerTest, GraphicsEnergyIsBilledByGPUTimeToTheFirstSampleOfAPid) {
  fake.chip = ChipEnergy(1, 8, 0, 1);
  fake.system = SystemEnergy{60, 0, 5};
  fake.gpu = {{1, 100}, {2, 100}, {9, 100}};
  auto tracker = make();
  std::vector<ProcessSample> samples{{{1, 1}, 0}, {{2, 1}, 0}, {{2, 5}, 0}, {{3, 1}, 0}};
  tracker->tick(sys::Date{0}, reading(false), samples);
  EXPECT_FALSE(tracker->chipWatts());
  // pid 9 is not a sampled process: its share is billed to nobody; pid 3 is
  // new to the GPU and gets nothing.
  fake.gpu = {{1, 110}, {2, 130}, {3, 500}, {9, 140}};
  tracker->tick(sys::Date{5}, reading(false), samples);
  EXPECT_EQ(tracker->processWatts(),
            (std::unordered_map<ProcessKey, double>{{{1, 1}, 8.0 * 10 / 80 / 5},
                                                    {{2, 1}, 8.0 * 30 / 80 / 5}}));
  EXPECT_DOUBLE_EQ(tracker->billedGraphicsWatts(), 8.0 * 40 / 80 / 5);
  EXPECT_EQ(tracker->chipWatts(), ChipEnergy(0.2, 1.6, 0, 0.2));
  EXPECT_EQ(tracker->lastOffChipWatts(), 12 - 2);
  // The session keeps the billed part of each app's energy apart.
  EXPECT_EQ(tracker->session()->appGraphicsJoules,
            (std::unordered_map<std::string, double>{{"app 1", 1.0}, {"app 2", 3.0}}));
  // A time that went backwards is ignored: everything goes to pid 3.
  fake.gpu = {{1, 110}, {2, 120}, {3, 600}};
  tracker->tick(sys::Date{10}, reading(false), samples);
  EXPECT_DOUBLE_EQ(tracker->appWatts().at("app 3"), 8.0 / 10);
  tracker->tick(sys::Date{60}, reading(false), samples);  // a gap empties the chip window
  EXPECT_EQ(tracker->chipWatts(), ChipEnergy(0, 0, 0, 0));
}

TEST_F(TrackerTest, ProcessesAreNamedOnceAndDepartedOnesDropped) {
  fake.identities = {{1, {"Xcode", "/Applications/Xcode.app", true}},
                     {2, {"Xcode", "/Applications/Xcode.app", true}},
                     {3, {"Notes", std::nullopt, false}},
                     {4, {"Xcode", "/Volumes/Dev/Xcode.app", true}}};
  for (int pid : {1, 2, 3}) processes.start(pid);
  auto tracker = make();
  for (int t = 0; t <= 20; t += 5) {
    for (int pid : {1, 2, 3}) processes.use(pid, pid);
    tick(*tracker, t, reading(false));
  }
  EXPECT_EQ(fake.identified, 3);
  EXPECT_TRUE(tracker->isDevTool("Xcode"));
  EXPECT_FALSE(tracker->isDevTool("Notes"));
  EXPECT_DOUBLE_EQ(tracker->appWatts().at("Xcode"), 3.0 / 5);
  EXPECT_EQ(tracker->topProcesses("Xcode", 1), (Tracker::ProcessWatts{{2, 2.0 / 5}}));
  EXPECT_TRUE(tracker->topProcesses("Xcode", 0).empty());
  EXPECT_EQ(tracker->rowName(3), "Notes");

  // As many processes as before, but one is gone and one is new (with its
  // bundle at a new place).
  processes.live.erase(2);
  processes.start(4, kLaunch + 1, 2);
  tick(*tracker, 25, reading(false));
  EXPECT_FALSE(tracker->processWatts().contains(ProcessKey{2, 1}));
  EXPECT_DOUBLE_EQ(tracker->processWatts().at(ProcessKey{4, kLaunch + 1}), 2.0 / 25);
  EXPECT_EQ(tracker->store().bundlePaths().at("Xcode"), "/Volumes/Dev/Xcode.app");
  // Once the cache holds more than twice the scan, departed processes are forgotten.
  processes.live.erase(1);
  processes.live.erase(3);
  tick(*tracker, 30, reading(false));
  EXPECT_FALSE(tracker->rowName(3));
  EXPECT_EQ(tracker->rowName(4), "Xcode");

  Tracker bare(nullptr, sys::Date{0}, kLaunch, TrackerReaders{});
  bare.tick(sys::Date{0}, reading(false), processes.samples());
  processes.use(4, 1);
  bare.tick(sys::Date{5}, reading(false), processes.samples());
  EXPECT_EQ(bare.rowName(4), "pid 4");
}

TEST_F(TrackerTest, MinutesLeftUsesTheLongDrainAboveHalfAWatt) {
  struct Case {
    double drain;
    std::optional<std::int64_t> system;
    std::optional<double> expected;
  };
  // 40 Wh by charge and voltage; at half charge somewhat less energy is left.
  const double energyLeft = 40 * DischargeCurve::energyLeftFactor(0.5);
  for (Case c : {Case{0.5, 321, 321.0}, Case{0.51, 321, energyLeft / 0.51 * 60},
                 Case{0.4, std::nullopt, std::nullopt}}) {
    auto tracker = make();
    BatteryReading battery = reading(false, 50, -c.drain);
    battery.systemMinutesToEmpty = c.system;
    tick(*tracker, 0, battery);
    tick(*tracker, 5, battery);
    ASSERT_EQ(tracker->minutesLeft().has_value(), c.expected.has_value()) << c.drain;
    if (c.expected) {
      EXPECT_NEAR(*tracker->minutesLeft(), *c.expected, 1e-6) << c.drain;
    }
  }
}

TEST_F(TrackerTest, HogsNeedNearlyAFullMinuteSinceTheLastGap) {
  processes.start(1);
  processes.start(2);
  auto tracker = make();
  for (int i = 0; i <= 11; ++i) {
    EXPECT_TRUE(tracker->hogs(0).empty()) << i;
    processes.use(1, 10);  // exactly 2 W
    processes.use(2, 1);
    tick(*tracker, i * 5.0, reading(false));
  }
  EXPECT_EQ(tracker->hogs(2.0), (Tracker::AppWatts{{"app 1", 2.0}}));
  EXPECT_EQ(tracker->hogs(0.1), (Tracker::AppWatts{{"app 1", 2.0}, {"app 2", 0.2}}));
  tick(*tracker, 100, reading(false));
  EXPECT_TRUE(tracker->hogs(0).empty());
}

// A meter reading that is not a number would make the session's energy NaN
// for the rest of the stretch; it counts as no reading.
TEST_F(TrackerTest, NonFiniteOrShortReadingsCountAsNone) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (SystemEnergy bad :
       {SystemEnergy{nan, 0, 5}, SystemEnergy{50, INFINITY, 5}, SystemEnergy{50, 0, 0.5}}) {
    fake.system = bad;
    fake.chip = ChipEnergy(nan, 0, 0, 0);
    auto tracker = make();
    tick(*tracker, 0, reading(false, 50, -7));
    tick(*tracker, 5, reading(false, 50, -7));
    EXPECT_EQ(tracker->session()->batteryJoules, 35);
    EXPECT_FALSE(tracker->nowUsedWatts());
    EXPECT_FALSE(tracker->chipWatts());
  }
}

TEST_F(TrackerTest, KeepsTickingWhenTheHistoryFileIsUnusable) {
  std::ofstream(path, std::ios::binary) << std::string(3000, 'z');
  processes.start(1);
  auto tracker = make();
  ASSERT_FALSE(tracker->store().isOpen());
  for (int t = 0; t <= 120; t += 5) {
    processes.use(1, 5);
    tick(*tracker, t, reading(false));
  }
  tracker->flush();
  EXPECT_EQ(tracker->session()->batteryJoules, 24 * 50);
  EXPECT_DOUBLE_EQ(tracker->appWatts().at("app 1"), 1.0);
  EXPECT_EQ(tracker->nowDrainWatts(), 10);
}

}  // namespace
}  // namespace ebbwise

#include "core/tracker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

#include "core/history_test_support.h"
#include "core/minute_bucket.h"
#include "core/tracker_test_rig.h"

namespace ebbwise {
namespace {

using testing::FakeProcesses;
using testing::FakeReaders;
using testing::RawDatabase;
using testing::reading;
using testing::TempFolder;

constexpr double kT0 = 1'700'000'000;
constexpr std::uint64_t kLaunch = 1000;  // processes started before this count from first sight

sys::Date at(double seconds) {
  return sys::Date{kT0 + seconds};
}

// ---- MinuteBucket -----------------------------------------------------------

// The bucket starts where its first tick's interval starts, so the tick 60
// seconds after that closes it: eleven 5-second ticks to a record.
TEST(MinuteBucket, TickSixtySecondsAfterTheStartClosesTheRecord) {
  MinuteBucket bucket;
  for (int i = 1; i <= 11; ++i) {
    double watts = i <= 5 ? -6 : -12;
    EXPECT_FALSE(bucket.add(i * 5.0, 5, reading(false, 90 - i, watts), {{"A", 1}})) << i;
  }
  auto record = bucket.add(60, 5, reading(false, 70), {{"A", 100}});
  ASSERT_TRUE(record);
  EXPECT_EQ(record->ts, 55);
  EXPECT_EQ(record->dt, 55);
  EXPECT_EQ(record->percent, 79);
  EXPECT_DOUBLE_EQ(record->watts, (5 * -6 + 6 * -12) * 5 / 55.0);
  EXPECT_EQ(record->appJoules, (std::unordered_map<std::string, double>{{"A", 11}}));
  // The closing tick opened the next bucket.
  EXPECT_EQ(bucket.startTs, 55);
  EXPECT_EQ(bucket.apps.at("A"), 100);
}

TEST(MinuteBucket, PowerChangeClosesThePartialMinuteAtOnce) {
  MinuteBucket bucket;
  bucket.add(5, 5, reading(false, 50, -8), {});
  bucket.add(10, 5, reading(false, 50, -8), {});
  auto record = bucket.add(15, 5, reading(true, 51, 30), {{"A", 2}});
  ASSERT_TRUE(record);
  EXPECT_EQ(record->ts, 10);
  EXPECT_EQ(record->dt, 10);
  EXPECT_FALSE(record->onAC);
  auto next = bucket.flush();
  ASSERT_TRUE(next);
  EXPECT_EQ(*next, (HistoryRecord{15, 5, 51, 30, true, {{"A", 2}}}));
  EXPECT_FALSE(bucket.flush());
}

// ---- Tracker ----------------------------------------------------------------

class TrackerTest : public ::testing::Test {
 protected:
  std::unique_ptr<Tracker> make(double now = 0) {
    return std::make_unique<Tracker>(std::make_unique<Store>(path()), at(now), kLaunch,
                                     fake.readers());
  }
  std::string path() const { return folder.file("history.sqlite"); }
  std::vector<HeavyAppAlert> tick(Tracker& tracker, double seconds, const BatteryReading& battery) {
    return tracker.tick(at(seconds), battery, processes.samples());
  }

  TempFolder folder;
  FakeReaders fake;
  FakeProcesses processes;
};

TEST_F(TrackerTest, FirstTickStartsTheSessionButAccountsNothing) {
  processes.start(1, kLaunch + 1, 5'000'000'000);  // born after launch: counted from birth
  auto tracker = make();
  EXPECT_TRUE(tick(*tracker, 0, reading(false, 77)).empty());
  ASSERT_TRUE(tracker->session());
  EXPECT_EQ(tracker->session()->start, at(0));
  EXPECT_EQ(tracker->session()->startPercent, 77);
  EXPECT_EQ(tracker->session()->batteryJoules, 0);
  EXPECT_TRUE(tracker->appWatts().empty());
  tracker->flush();
  EXPECT_FALSE(tracker->store().lastRecord());

  auto onAC = make();
  tick(*onAC, 0, reading(true));
  EXPECT_FALSE(onAC->session());
}

TEST_F(TrackerTest, GapOfFifteenSecondsIsDiscardedAndResetsTheShortWindows) {
  struct Case {
    double dt;
    bool accounted;
  };
  for (Case c : {Case{14.9, true}, Case{15.0, false}, Case{3600, false}}) {
    processes.start(1);
    auto tracker = make();
    tick(*tracker, 0, reading(false));
    processes.use(1, 10);
    tick(*tracker, 5, reading(false));
    ASSERT_EQ(tracker->session()->batteryJoules, 50);

    processes.use(1, 100);
    tick(*tracker, 5 + c.dt, reading(false));
    EXPECT_NEAR(tracker->session()->batteryJoules, c.accounted ? 50 + 10 * c.dt : 50, 1e-5) << c.dt;
    EXPECT_EQ(tracker->session()->appJoules.at("app 1"), c.accounted ? 110 : 10) << c.dt;
    EXPECT_EQ(tracker->appWatts().empty(), !c.accounted) << c.dt;
    EXPECT_EQ(tracker->processWatts().empty(), !c.accounted) << c.dt;

    // The tick after a gap is accounted normally.
    processes.use(1, 5);
    tick(*tracker, 10 + c.dt, reading(false));
    EXPECT_EQ(tracker->session()->appJoules.at("app 1"), c.accounted ? 115 : 15) << c.dt;
    processes.stop(1);
  }
}

TEST_F(TrackerTest, UnplugStartsASessionAndDrainFollowsTheQuickWindowAtFirst) {
  fake.system = SystemEnergy{50, 150, 5};  // 10 W used, 30 W in
  auto tracker = make();
  for (int t = 0; t <= 20; t += 5) tick(*tracker, t, reading(true, 70, 20));
  EXPECT_FALSE(tracker->session());
  EXPECT_EQ(tracker->nowInWatts(), 30);
  EXPECT_EQ(tracker->lastChargeWatts(), 20);

  fake.system = SystemEnergy{50, 0, 5};
  tick(*tracker, 25, reading(false, 69));
  ASSERT_TRUE(tracker->session());
  EXPECT_EQ(tracker->session()->start, at(25));
  EXPECT_EQ(tracker->session()->startPercent, 69);
  EXPECT_EQ(tracker->session()->batteryJoules, 50);
  EXPECT_EQ(tracker->lastChargeWatts(), 0);
  EXPECT_FALSE(tracker->nowDrainWatts()) << "the switching tick feeds no drain window";
  EXPECT_FALSE(tracker->nowInWatts());

  // 10 W, then 20 W: the 5-second window shows only the newest tick.
  tick(*tracker, 30, reading(false));
  fake.system = SystemEnergy{100, 0, 5};
  tick(*tracker, 35, reading(false));
  EXPECT_EQ(tracker->nowDrainWatts(), 20);
  EXPECT_EQ(tracker->nowUsedWatts(), 20);
  fake.system = SystemEnergy{50, 0, 5};
  for (int t = 40; t <= 55; t += 5) tick(*tracker, t, reading(false));
  // 30 seconds after the unplug the 30-second window takes over: ticks 30..55.
  EXPECT_DOUBLE_EQ(*tracker->nowDrainWatts(), (10 + 20 + 10 * 4) / 6.0);
  EXPECT_NEAR(*tracker->averageDrainWatts15(), (50 * 6 + 100) / 35.0, 1e-12);
}

TEST_F(TrackerTest, PluggingInKeepsTheSessionAndClearsTheDrain) {
  fake.system = SystemEnergy{40, 0, 5};
  auto tracker = make();
  for (int t = 0; t <= 30; t += 5) tick(*tracker, t, reading(false, 60));
  auto session = *tracker->session();
  EXPECT_EQ(session.batteryJoules, 6 * 40);

  fake.system = SystemEnergy{40, 100, 5};
  tick(*tracker, 35, reading(true, 60, 12));
  EXPECT_EQ(tracker->session(), session);
  EXPECT_FALSE(tracker->nowDrainWatts());
  EXPECT_FALSE(tracker->minutesLeft());
  EXPECT_FALSE(tracker->averageDrainWatts15());
  EXPECT_EQ(tracker->nowInWatts(), 0) << "present while on AC, 0 until a tick is windowed";
  tick(*tracker, 40, reading(true, 61, 12));
  EXPECT_EQ(tracker->nowInWatts(), 20);
  EXPECT_EQ(tracker->session(), session);
}

TEST_F(TrackerTest, RestoresARecentInterruptedSessionFromTheHistory) {
  struct Case {
    double lastRowAge;
    bool lastRowOnAC;
    bool adopted;
  };
  for (Case c : {Case{600, false, true}, Case{899, false, true}, Case{900, false, false},
                 Case{1200, false, false}, Case{600, true, false}}) {
    TempFolder history;
    std::string file = history.file("history.sqlite");
    {
      Store store(file);
      store.write(HistoryRecord{880, 60, 99, 40, true, {{"A", 50}}});
      store.write(HistoryRecord{940, 60, 98, -10, false, {{"A", 30}, {"B", 5}}});
      store.write(HistoryRecord{1000, 60, 97, -5, false, {{"A", 20}}});
      store.write(HistoryRecord{1000 + 0.5, 0.5, 97, -2, c.lastRowOnAC, {}});
    }
    double now = 1000.5 + c.lastRowAge;
    Tracker tracker(std::make_unique<Store>(file), sys::Date{now}, kLaunch, fake.readers());
    tracker.tick(sys::Date{now}, reading(false, 42), {});
    ASSERT_TRUE(tracker.session());
    const Session& session = *tracker.session();
    if (c.adopted) {
      EXPECT_EQ(session.start, sys::Date{940 - 60});
      EXPECT_EQ(session.startPercent, 98);
      EXPECT_EQ(session.batteryJoules, 600 + 300 + 1);
      EXPECT_EQ(session.appJoules, (std::unordered_map<std::string, double>{{"A", 50}, {"B", 5}}));
    } else {
      EXPECT_EQ(session, (Session{sys::Date{now}, 42, 0, {}})) << c.lastRowAge;
    }
  }
}

TEST_F(TrackerTest, RestoredSessionIsDroppedWhenTheFirstTickIsOnAC) {
  {
    Store store(path());
    store.write(HistoryRecord{1000, 60, 97, -5, false, {{"A", 20}}});
  }
  Tracker tracker(std::make_unique<Store>(path()), sys::Date{1100}, kLaunch, fake.readers());
  tracker.tick(sys::Date{1100}, reading(true), {});
  tracker.tick(sys::Date{1105}, reading(false, 64), {});
  ASSERT_TRUE(tracker.session());
  EXPECT_EQ(tracker.session()->start, sys::Date{1105});
  EXPECT_EQ(tracker.session()->startPercent, 64);
}

TEST_F(TrackerTest, ConstructionPrunesOldHistoryAndLoadsBundlePaths) {
  const double now = kT0;
  {
    Store store(path());
    store.write(HistoryRecord{now - Tracker::keepHistory - 1, 60, 50, -5, false, {{"Old", 1}}});
    store.write(HistoryRecord{now - Tracker::keepHistory, 60, 50, -5, false, {{"Kept", 1}}});
    store.rememberBundle("Kept", "/Applications/Kept.app");
  }
  Tracker tracker(std::make_unique<Store>(path()), sys::Date{now}, kLaunch, fake.readers());
  EXPECT_EQ(tracker.bundlePaths(),
            (std::map<std::string, std::string>{{"Kept", "/Applications/Kept.app"}}));
  RawDatabase raw(path());
  EXPECT_EQ(raw.number("SELECT COUNT(*) FROM battery"), 1);
  EXPECT_EQ(raw.text("SELECT app FROM app_energy"), "Kept");
}

TEST_F(TrackerTest, GraphicsEnergyIsBilledByGPUTime) {
  processes.start(1);
  processes.start(2);
  processes.start(3);
  fake.chip = ChipEnergy(1, 8, 0, 1);
  fake.gpu = {{1, 100}, {2, 100}, {9, 100}};
  auto tracker = make();
  tick(*tracker, 0, reading(false));
  EXPECT_FALSE(tracker->chipWatts()) << "no accounted tick yet";

  // pid 1 used 10, pid 2 30, pid 9 (not a sampled process) 40, pid 3 is new to
  // the GPU; pid 9's share is billed to nobody.
  fake.gpu = {{1, 110}, {2, 130}, {3, 500}, {9, 140}};
  tick(*tracker, 5, reading(false));
  const auto& watts = tracker->processWatts();
  EXPECT_DOUBLE_EQ(watts.at(ProcessKey{1, 1}), 8.0 * 10 / 80 / 5);
  EXPECT_DOUBLE_EQ(watts.at(ProcessKey{2, 1}), 8.0 * 30 / 80 / 5);
  EXPECT_FALSE(watts.contains(ProcessKey{3, 1}));
  EXPECT_DOUBLE_EQ(tracker->billedGraphicsWatts(), 8.0 * 40 / 80 / 5);
  EXPECT_EQ(tracker->chipWatts(), ChipEnergy(0.2, 1.6, 0, 0.2));

  // A GPU time that went backwards is ignored: everything goes to pid 3.
  fake.gpu = {{1, 110}, {2, 120}, {3, 600}};
  tick(*tracker, 10, reading(false));
  EXPECT_DOUBLE_EQ(tracker->appWatts().at("app 3"), 8.0 / 10);

  // Without chip energy nothing is billed, and the chip figures age out.
  fake.chip.reset();
  fake.gpu = {{1, 200}, {2, 200}, {3, 700}};
  tick(*tracker, 15, reading(false));
  EXPECT_FALSE(tracker->lastOffChipWatts());
  EXPECT_EQ(tracker->processWatts().size(), 3u) << "the window still holds the earlier ticks";
}

TEST_F(TrackerTest, ReusedPidGetsTheGPUShareOfItsFirstSample) {
  fake.chip = ChipEnergy(0, 10, 0, 0);
  fake.gpu = {{7, 0}};
  auto tracker = make();
  std::vector<ProcessSample> samples{{ProcessKey{7, 20}, 0}, {ProcessKey{7, 10}, 0}};
  tracker->tick(at(0), reading(false), samples);
  fake.gpu = {{7, 50}};
  tracker->tick(at(5), reading(false), samples);
  EXPECT_EQ(tracker->processWatts(),
            (std::unordered_map<ProcessKey, double>{{ProcessKey{7, 20}, 2.0}}));
}

TEST_F(TrackerTest, ProcessesAreNamedOnceAndTheirAppsRecorded) {
  AppIdentity xcode{"Xcode", "/Applications/Xcode.app", true};
  fake.identities = {{1, xcode}, {2, xcode}, {3, {"Notes", std::nullopt, false}}};
  for (int pid : {1, 2, 3}) processes.start(pid);
  auto tracker = make();
  for (int t = 0; t <= 20; t += 5) {
    for (int pid : {1, 2, 3}) processes.use(pid, pid);
    tick(*tracker, t, reading(false));
  }
  EXPECT_EQ(fake.identified.size(), 3u);
  EXPECT_TRUE(tracker->isDevTool("Xcode"));
  EXPECT_FALSE(tracker->isDevTool("Notes"));
  EXPECT_DOUBLE_EQ(tracker->appWatts().at("Xcode"), 3.0 / 5);
  EXPECT_EQ(tracker->rowName(3), "Notes");
  EXPECT_FALSE(tracker->rowName(4));
  EXPECT_EQ(tracker->store().bundlePaths(),
            (std::map<std::string, std::string>{{"Xcode", "/Applications/Xcode.app"}}));

  // A new process of an app that moved brings its new bundle path.
  fake.identities[4] = {"Xcode", "/Volumes/Dev/Xcode.app", true};
  processes.start(4, kLaunch + 5);
  processes.use(4, 1);
  tick(*tracker, 25, reading(false));
  EXPECT_EQ(tracker->bundlePaths().at("Xcode"), "/Volumes/Dev/Xcode.app");
  EXPECT_EQ(tracker->store().bundlePaths().at("Xcode"), "/Volumes/Dev/Xcode.app");
}

TEST_F(TrackerTest, WithoutAnIdentifyReaderProcessesArePidRows) {
  processes.start(42);
  TrackerReaders readers;
  Tracker tracker(nullptr, at(0), kLaunch, readers);
  tracker.tick(at(0), reading(false), processes.samples());
  processes.use(42, 1);
  tracker.tick(at(5), reading(false), processes.samples());
  EXPECT_EQ(tracker.rowName(42), "pid 42");
  EXPECT_TRUE(tracker.appWatts().contains("pid 42"));
  EXPECT_FALSE(tracker.chipWatts());
  EXPECT_FALSE(tracker.nowUsedWatts());
}

TEST_F(TrackerTest, NameCacheForgetsDepartedProcessesOnceItOutgrowsTheScan) {
  for (int pid : {1, 2, 3}) processes.start(pid);
  auto tracker = make();
  tick(*tracker, 0, reading(false));
  for (int pid : {1, 2, 3}) processes.use(pid, 1);
  tick(*tracker, 5, reading(false));
  processes.stop(2);
  processes.stop(3);
  tick(*tracker, 10, reading(false));  // 3 names, 1 sample
  EXPECT_EQ(tracker->rowName(1), "app 1");
  EXPECT_FALSE(tracker->rowName(2));
  EXPECT_FALSE(tracker->processWatts().contains(ProcessKey{2, 1}));
}

TEST_F(TrackerTest, MinutesLeftUsesTheLongDrainAboveHalfAWatt) {
  struct Case {
    double drain, remainingWh;
    std::optional<std::int64_t> system;
    std::optional<double> expected;
  };
  const Case cases[] = {
      {0.5, 50, 321, 321.0},
      {0.51, 50, 321, 50 / 0.51 * 60},
      {0.51, 0, 321, 321.0},
      {0.4, 50, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    auto tracker = make();
    BatteryReading battery = reading(false, 50, -c.drain, c.remainingWh);
    battery.systemMinutesToEmpty = c.system;
    tick(*tracker, 0, battery);
    tick(*tracker, 5, battery);
    auto minutes = tracker->minutesLeft();
    ASSERT_EQ(minutes.has_value(), c.expected.has_value()) << c.drain;
    if (minutes) {
      EXPECT_NEAR(*minutes, *c.expected, 1e-6) << c.drain;
    }
  }
}

TEST_F(TrackerTest, HogsNeedNearlyAFullMinuteSinceTheLastGap) {
  processes.start(1);
  processes.start(2);
  auto tracker = make();
  tick(*tracker, 0, reading(false));
  for (int i = 1; i <= 11; ++i) {
    EXPECT_TRUE(tracker->hogs(0).empty()) << i;
    processes.use(1, 10);  // exactly 2 W
    processes.use(2, 1);
    tick(*tracker, i * 5.0, reading(false));
  }
  EXPECT_EQ(tracker->hogs(2.0), (Tracker::AppWatts{{"app 1", 2.0}}));
  EXPECT_EQ(tracker->hogs(0.1), (Tracker::AppWatts{{"app 1", 2.0}, {"app 2", 0.2}}));
  tick(*tracker, 100, reading(false));  // a gap
  EXPECT_TRUE(tracker->hogs(0).empty());
}

TEST_F(TrackerTest, TopProcessesOfOneApp) {
  AppIdentity app{"Browser", std::nullopt, false};
  fake.identities = {{1, app}, {2, app}, {3, app}, {4, {"Other", std::nullopt, false}}};
  for (int pid : {1, 2, 3, 4}) processes.start(pid);
  auto tracker = make();
  tick(*tracker, 0, reading(false));
  for (int pid : {1, 2, 3, 4}) processes.use(pid, pid * 5.0);
  tick(*tracker, 5, reading(false));
  EXPECT_EQ(tracker->topProcesses("Browser", 2), (Tracker::ProcessWatts{{3, 3.0}, {2, 2.0}}));
  EXPECT_EQ(tracker->topProcesses("Browser", 9).size(), 3u);
  EXPECT_TRUE(tracker->topProcesses("Browser", 0).empty());
  EXPECT_TRUE(tracker->topProcesses("Nobody", 5).empty());
}

TEST_F(TrackerTest, ChipFiguresStayPresentWithZerosAfterAGap) {
  fake.chip = ChipEnergy(5, 0, 0, 5);
  fake.system = SystemEnergy{60, 0, 5};
  auto tracker = make();
  tick(*tracker, 0, reading(false));
  tick(*tracker, 5, reading(false));
  EXPECT_EQ(tracker->chipWatts(), ChipEnergy(1, 0, 0, 1));
  EXPECT_EQ(tracker->lastOffChipWatts(), 12 - 2);
  tick(*tracker, 60, reading(false));
  EXPECT_EQ(tracker->chipWatts(), ChipEnergy(0, 0, 0, 0));
}

// A meter reading that is not a number would turn the session's energy into
// NaN for the rest of the stretch; it counts as no reading instead.
TEST_F(TrackerTest, NonFiniteReadingsCountAsNone) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (SystemEnergy bad :
       {SystemEnergy{nan, 0, 5}, SystemEnergy{50, inf, 5}, SystemEnergy{50, 0, 0.5}}) {
    fake.system = bad;
    fake.chip = ChipEnergy(nan, 0, 0, 0);
    auto tracker = make();
    tick(*tracker, 0, reading(false, 50, -7));
    tick(*tracker, 5, reading(false, 50, -7));
    EXPECT_EQ(tracker->session()->batteryJoules, 35);
    EXPECT_FALSE(tracker->nowUsedWatts());
    EXPECT_FALSE(tracker->chipWatts());
    EXPECT_FALSE(tracker->lastOffChipWatts());
  }
}

TEST_F(TrackerTest, KeepsTickingWhenTheHistoryFileIsUnusable) {
  std::ofstream(path(), std::ios::binary) << std::string(3000, 'z');
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

#include "accounting/tracker.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/history_test_support.h"

namespace ebbwise {
namespace {

using test::reading;

constexpr std::uint64_t kLaunch = 1000;  // processes started before this count from first sight

class TrackerTest : public ::testing::Test {
 protected:
  std::unique_ptr<Tracker> make(double now = 0) {
    return std::make_unique<Tracker>(std::make_unique<Store>(path), sys::Date{now}, kLaunch,
                                     fake.readers());
  }
  void tick(Tracker& tracker, double at, const BatteryReading& battery) {
    tracker.tick(sys::Date{at}, battery, processes.samples());
  }

  test::TempFolder folder;
  std::string path = folder.file("history.sqlite");
  test::FakeReaders fake;
  test::ProcessCounters processes;
};

TEST_F(TrackerTest, ATickFifteenSecondsOrMoreAfterThePreviousIsNotAccounted) {
  processes.start(1);
  for (double gap : {14.9, 15.0}) {
    path = folder.file(std::to_string(gap));
    auto tracker = make();
    tick(*tracker, 0, reading(false));
    processes.use(1, 10);
    tick(*tracker, gap, reading(false));
    EXPECT_NEAR(tracker->session()->batteryJoules, gap < 15 ? 10 * gap : 0, 1e-9) << gap;
    EXPECT_EQ(tracker->appWatts().empty(), gap >= 15) << gap;
  }
}

// A power-source change that lands on the timer's tick ticks twice at one
// instant: the second measures nothing and must not wipe the live figures.
TEST_F(TrackerTest, ASecondTickAtTheSameInstantKeepsTheLiveWindows) {
  fake.system = SystemEnergy{50, 0, 5};
  processes.start(1);
  auto tracker = make();
  for (int t = 0; t <= 60; t += 5) {
    processes.use(1, 10);
    tick(*tracker, t, reading(false));
  }
  const auto apps = tracker->appWatts();
  const auto drain = tracker->nowDrainWatts();
  ASSERT_FALSE(apps.empty());
  EXPECT_TRUE(tracker->tick(sys::Date{60}, reading(false), processes.samples()).empty());
  EXPECT_EQ(tracker->appWatts(), apps);
  EXPECT_EQ(tracker->nowDrainWatts(), drain);
  EXPECT_EQ(tracker->lastOffChipWatts(), std::nullopt) << "nothing measured";
  processes.use(1, 10);
  tick(*tracker, 65, reading(false));
  EXPECT_NEAR(tracker->session()->batteryJoules, 13 * 50, 1e-9) << "nothing counted twice";
}

TEST_F(TrackerTest, UnplugAndPlugInRestartTheDrainWindows) {
  fake.system = SystemEnergy{50, 150, 5, true};  // 10 W used, 30 W in
  auto tracker = make();
  for (int t = 0; t <= 20; t += 5) tick(*tracker, t, reading(true, 70, 20));
  EXPECT_EQ(tracker->lastChargeWatts(), 20);

  fake.system = SystemEnergy{50, 0, 5, true};
  tick(*tracker, 25, reading(false, 69));
  EXPECT_EQ(tracker->session(), (Session{sys::Date{25}, 69, 50, {}, {}})) << "tick accounted";
  EXPECT_FALSE(tracker->nowDrainWatts()) << "the switching tick feeds no drain window";
  tick(*tracker, 30, reading(false));
  fake.system = SystemEnergy{100, 0, 5};
  tick(*tracker, 35, reading(false));
  EXPECT_EQ(tracker->nowDrainWatts(), 20) << "the 5-second window just after a switch";
  fake.system = SystemEnergy{50, 0, 5};
  for (int t = 40; t <= 55; t += 5) tick(*tracker, t, reading(false));
  EXPECT_DOUBLE_EQ(*tracker->nowDrainWatts(), 70 / 6.0) << "30 s after: ticks 30..55";
  EXPECT_DOUBLE_EQ(*tracker->averageDrainWatts15(), 400 / 35.0) << "since the unplug";
  // The 40 Wh the battery reports, at the drain since the unplug; nothing
  // else (the battery's own figure, its percentage) moves the estimate.
  EXPECT_DOUBLE_EQ(*tracker->minutesLeft(), 40 / (400 / 35.0) * 60);

  tick(*tracker, 60, reading(true));
  EXPECT_EQ(tracker->nowInWatts(), 0) << "present on AC even before a tick is windowed";
}

// A model whose system meter cannot read the charger's power knows what the
// Mac uses but not what comes in: the input is unknown, not 0 W.
TEST_F(TrackerTest, WithoutAChargerReadingTheInputIsUnknownNotZero) {
  fake.system = SystemEnergy{50, 0, 5, false};
  auto tracker = make();
  for (int t = 0; t <= 20; t += 5) tick(*tracker, t, reading(true, 70, 20));
  EXPECT_EQ(tracker->nowUsedWatts(), 10);
  EXPECT_EQ(tracker->nowInWatts(), std::nullopt);
  EXPECT_EQ(tracker->lastChargeWatts(), 0);
}

// The passive calibration steps on the off-chip figure of every tick: a tick
// that measured nothing must not repeat the previous figure (a power-source
// tick landing on the timer's), nor make one from the battery's own rate,
// which reads 0 W used while charging.
TEST_F(TrackerTest, OffChipPowerIsAbsentWhenTheTickMeasuredNoSystemPower) {
  fake.chip = ChipEnergy(5, 0, 0, 5);  // 2 W over 5 s
  fake.system = SystemEnergy{50, 150, 5, true};
  auto tracker = make();
  tick(*tracker, 0, reading(true, 70, 20));
  tick(*tracker, 5, reading(true, 70, 20));
  EXPECT_EQ(tracker->lastOffChipWatts(), 10 - 2);
  EXPECT_EQ(tracker->lastChargeWatts(), 20);

  tick(*tracker, 5, reading(true, 70, 20));
  EXPECT_EQ(tracker->lastOffChipWatts(), std::nullopt) << "a second tick at the same instant";

  tick(*tracker, 10, reading(true, 70, 20));
  EXPECT_EQ(tracker->lastOffChipWatts(), 10 - 2) << "measured again";
  fake.system = SystemEnergy{0.5, 1.5, 0.05, true};  // too short to use
  tick(*tracker, 15, reading(true, 70, 20));
  EXPECT_EQ(tracker->lastOffChipWatts(), std::nullopt) << "no usable meter reading";
  EXPECT_EQ(tracker->lastChargeWatts(), 0);
}

// The time left is the energy the battery reports over the 15-minute drain,
// above half a watt; at or below it, the system's own estimate.
TEST_F(TrackerTest, TimeLeftIsTheReportedEnergyOverTheAverageDrain) {
  for (auto [watts, minutes] : {std::pair{0.51, 50 / 0.51 * 60}, {0.5, 240.0}}) {
    fake.system = SystemEnergy{watts * 5, 0, 5};
    path = folder.file(std::to_string(watts));
    auto tracker = make();
    const auto battery = BatteryReading::make(80, 50, -watts, false, false, 240, std::nullopt);
    for (int t = 0; t <= 30; t += 5) tracker->tick(sys::Date{double(t)}, battery, {});
    EXPECT_DOUBLE_EQ(*tracker->minutesLeft(), minutes) << watts;
  }
}

// A date that is not a number is dropped whole; the ticks around it are
// accounted as if it had never come.
TEST_F(TrackerTest, ATickWithADateThatIsNotFiniteIsIgnored) {
  fake.system = SystemEnergy{50, 0, 5};
  processes.start(1, kLaunch);
  auto tracker = make();
  tick(*tracker, 0, reading(false));
  for (double bad : {NAN, INFINITY, -INFINITY}) {
    processes.use(1, 1);
    EXPECT_TRUE(tracker->tick(sys::Date{bad}, reading(false), processes.samples()).empty());
  }
  tick(*tracker, 5, reading(false));
  EXPECT_EQ(tracker->session()->batteryJoules, 50);
  EXPECT_EQ(tracker->session()->appJoules.at("app 1"), 3);
  EXPECT_EQ(tracker->session()->start, sys::Date{0});
  EXPECT_DOUBLE_EQ(tracker->appWatts().at("app 1"), 3.0 / 5);
}

// Apps drawing the same power are listed by name, whatever the order the
// tracker's maps keep them in.
TEST_F(TrackerTest, HogsWithEqualPowerAreListedByName) {
  const std::vector<std::int32_t> pids = {9, 3, 12, 1, 7, 4, 10, 2, 8, 5, 11, 6};
  for (std::int32_t pid : pids) {
    fake.identities[pid] = {std::string(1, char('a' + (pid * 5) % 12)), std::nullopt, false};
    processes.start(pid);
  }
  auto tracker = make();
  for (int t = 0; t <= 60; t += 5) {
    for (std::int32_t pid : pids) processes.use(pid, pid == 1 ? 20 : 10);
    tick(*tracker, t, reading(false));
  }
  const Tracker::AppWatts hogs = tracker->hogs(1);
  ASSERT_EQ(hogs.size(), pids.size());
  EXPECT_EQ(hogs.front(), (std::pair<std::string, double>{"f", 4.0}));
  for (std::size_t i = 2; i < hogs.size(); ++i) {
    EXPECT_LT(hogs[i - 1].first, hogs[i].first);
    EXPECT_EQ(hogs[i].second, 2.0);
  }
}

// Construction prunes rows older than 90 days and loads the bundle paths; the
// first tick adopts the session of a last row on battery under 15 minutes old.
TEST_F(TrackerTest, ConstructionPrunesLoadsAndRestoresARecentSession) {
  {
    Store store(path);
    store.write(HistoryRecord{1000 - Tracker::keepHistory, 60, 50, -5, false, {{"Old", 1}}});
    store.rememberBundle("A", "/Applications/A.app");
    store.write(HistoryRecord{880, 60, 99, 40, true, {{"A", 50}}});
    store.write(HistoryRecord{940, 60, 98, -10, false, {{"A", 30}, {"B", 5}}});
    store.write(HistoryRecord{1000, 60, 97, -5, false, {{"A", 20}}});
  }
  auto tracker = make(1899);
  EXPECT_EQ(tracker->store().batteryPoints(-1e9).size(), 3u);
  EXPECT_EQ(tracker->bundlePaths().at("A"), "/Applications/A.app");
  EXPECT_FALSE(Tracker::restoreSession(tracker->store(), sys::Date{1900}));
  tick(*tracker, 1899, reading(false));
  EXPECT_EQ(tracker->session(), (Session{sys::Date{880}, 98, 900, {{"A", 50}, {"B", 5}}, {}}));
  // Not when the first tick is on AC (the unplug tick is then accounted), nor
  // when the last row is on AC.
  auto plugged = make(1899);
  tick(*plugged, 1894, reading(true));
  tick(*plugged, 1899, reading(false, 42));
  EXPECT_EQ(plugged->session(), (Session{sys::Date{1899}, 42, 50, {}, {}}));
  plugged->store().write(HistoryRecord{1010, 5, 97, 30, true, {}});
  EXPECT_FALSE(Tracker::restoreSession(plugged->store(), sys::Date{1100}));
}

TEST_F(TrackerTest, GraphicsEnergyIsBilledByGPUTimeToTheFirstSampleOfAPid) {
  fake.chip = ChipEnergy(1, 8, 0, 1);
  fake.system = SystemEnergy{60, 0, 5};
  fake.gpu = {{1, 100}, {2, 100}, {9, 100}};
  auto tracker = make();
  std::vector<ProcessSample> samples{{{1, 1}, 0}, {{2, 1}, 0}, {{2, 5}, 0}, {{3, 1}, 0}};
  tracker->tick(sys::Date{0}, reading(false), samples);
  // pid 9 is not a sampled process: its share is billed to nobody; pid 3 is
  // new to the GPU and gets nothing.
  fake.gpu = {{1, 110}, {2, 130}, {3, 500}, {9, 140}};
  tracker->tick(sys::Date{5}, reading(false), samples);
  EXPECT_EQ(tracker->processWatts(),
            (std::unordered_map<ProcessKey, double>{{{1, 1}, 8.0 * 10 / 80 / 5},
                                                    {{2, 1}, 8.0 * 30 / 80 / 5}}));
  EXPECT_DOUBLE_EQ(tracker->billedGraphicsWatts(), 8.0 * 40 / 80 / 5);
  EXPECT_EQ(tracker->lastOffChipWatts(), 12 - 2);
  EXPECT_EQ(tracker->session()->appGraphicsJoules,
            (std::unordered_map<std::string, double>{{"app 1", 1.0}, {"app 2", 3.0}}));
  // A time that went backwards is ignored: everything goes to pid 3.
  fake.gpu = {{1, 110}, {2, 120}, {3, 600}};
  tracker->tick(sys::Date{10}, reading(false), samples);
  EXPECT_DOUBLE_EQ(tracker->appWatts().at("app 3"), 8.0 / 10);
}

// A process whose energy could not be read in a scan still used the GPU; its
// share of the graphics energy is its own, not nobody's.
TEST_F(TrackerTest, AProcessMissingFromAScanKeepsItsGraphicsShare) {
  fake.chip = ChipEnergy(0, 8, 0, 0);
  fake.system = SystemEnergy{60, 0, 5};
  fake.gpu = {{1, 100}, {2, 100}};
  auto tracker = make();
  tracker->tick(sys::Date{0}, reading(false), {{{1, 1}, 0}, {{2, 1}, 0}});
  fake.gpu = {{1, 110}, {2, 130}};
  tracker->tick(sys::Date{5}, reading(false), {{{1, 1}, 0}});
  EXPECT_EQ(tracker->session()->appGraphicsJoules,
            (std::unordered_map<std::string, double>{{"app 1", 2.0}, {"app 2", 6.0}}));
  EXPECT_DOUBLE_EQ(tracker->billedGraphicsWatts(), 8.0 / 5);
}

TEST_F(TrackerTest, DepartedProcessesLeaveTheWindowAndTheNameCache) {
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
  EXPECT_EQ(tracker->topProcesses("Xcode", 1), (Tracker::ProcessWatts{{2, 2.0 / 5}}));
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
}

// A meter reading that is not a number would make the session's energy NaN
// for the rest of the stretch; it counts as no reading.
TEST_F(TrackerTest, NonFiniteOrShortReadingsCountAsNone) {
  for (SystemEnergy bad :
       {SystemEnergy{NAN, 0, 5}, SystemEnergy{50, INFINITY, 5}, SystemEnergy{50, 0, 0.5}}) {
    fake.system = bad;
    fake.chip = ChipEnergy(NAN, 0, 0, 0);
    auto tracker = make();
    tick(*tracker, 0, reading(false, 50, -7));
    tick(*tracker, 5, reading(false, 50, -7));
    EXPECT_EQ(tracker->session()->batteryJoules, 35);
    EXPECT_FALSE(tracker->nowUsedWatts());
    EXPECT_FALSE(tracker->chipWatts());
  }
}

// The scenario: half an hour of a laptop's life, tick by tick. Apps come and
// go, the lid is closed for a minute, the charger goes in and out, the program
// restarts. What lands in the history file must add up to the energy fed in.
struct App {
  std::int32_t pid;
  const char* name;
  double watts;
};
constexpr App kApps[] = {
    {100, "Safari", 1.5}, {101, "Safari", 0.2}, {200, "Xcode", 6.0}, {300, "Mail", 1.0}};

struct Scenario {
  test::TempFolder folder;
  std::string path = folder.file("joulemark/history.sqlite");
  test::FakeReaders fake;
  test::ProcessCounters processes;
  std::unique_ptr<Tracker> tracker;
  std::optional<double> last;
  int count = 0;
  double percent = 90;
  std::vector<std::pair<double, std::string>> alerts;
  // What was fed in over accounted ticks (not the first after a launch, not
  // after a gap). Every process is either seen before or born after the launch.
  std::map<std::string, double> appJoules;
  double batterySeconds = 0, acSeconds = 0, signedJoules = 0, sessionJoules = 0;

  void launch(double at, std::uint64_t ticks) {
    tracker = std::make_unique<Tracker>(std::make_unique<Store>(path), sys::Date{at}, ticks,
                                        fake.readers());
    last.reset();
  }

  void run(double from, double to, bool onAC) {
    for (double t = from; t <= to; t += 5) tick(t, onAC);
  }

  void tick(double t, bool onAC) {
    const double dt = last ? t - *last : 5.0;
    const bool accounted = last && dt < 15;
    double used = 4.0;  // what no process accounts for
    for (const App& app : kApps) {
      if (!processes.live.contains(app.pid)) continue;
      double joules = app.watts * dt * (1.0 + 0.1 * (++count % 3));  // no two ticks alike
      processes.use(app.pid, joules);
      used += joules / dt;
      if (accounted) appJoules[app.name] += joules;
    }
    percent += onAC ? 0.02 : -0.03;
    BatteryReading battery = test::reading(onAC, percent, onAC ? 20.0 : -used);
    fake.system = SystemEnergy{used * dt, onAC ? (used + 25) * dt : 0.0, dt, true};
    for (const auto& alert : tracker->tick(sys::Date{t}, battery, processes.samples())) {
      alerts.emplace_back(t, alert.app);
    }
    last = t;
    if (!accounted) return;
    (onAC ? acSeconds : batterySeconds) += dt;
    signedJoules += battery.watts * dt;
    if (!onAC) sessionJoules += used * dt;
  }
};

TEST(TrackerScenario, HalfAnHourOfTicksAddsUpInTheHistoryFile) {
  Scenario s;
  s.fake.identities = {{100, {"Safari", "/Applications/Safari.app", false}},
                       {101, {"Safari", "/Applications/Safari.app", false}},
                       {200, {"Xcode", "/Applications/Xcode.app", true}},
                       {300, {"Mail", "/System/Applications/Mail.app", false}}};
  for (int pid : {100, 101, 200}) s.processes.start(pid);
  s.launch(0, 1'000);
  s.run(0, 115, false);
  s.processes.start(300, 1'001);  // born after the launch
  s.run(120, 395, false);
  s.processes.live.erase(300);
  s.run(400, 600, false);
  s.run(660, 1080, false);  // after a minute with the lid closed
  EXPECT_NEAR(s.tracker->session()->batteryJoules, s.sessionJoules, 1e-6);
  s.run(1085, 1320, true);
  EXPECT_EQ(s.tracker->session()->start, sys::Date{0}) << "kept while on AC";
  s.sessionJoules = 0;
  s.run(1325, 1560, false);
  const Session beforeQuit = *s.tracker->session();
  s.tracker->flush();

  // A restart a minute later picks the session up from the history; the
  // minute of the unplug began with the tick before it.
  s.launch(1620, 5'000);
  s.tick(1620, false);
  const Session restored = *s.tracker->session();
  EXPECT_EQ(restored.start, sys::Date{1320});
  EXPECT_NEAR(restored.batteryJoules, beforeQuit.batteryJoules, 1e-6);
  ASSERT_EQ(restored.appJoules.size(), beforeQuit.appJoules.size());
  for (const auto& [app, joules] : beforeQuit.appJoules) {
    EXPECT_NEAR(restored.appJoules.at(app), joules, 1e-6) << app;
  }
  s.run(1625, 1800, false);
  EXPECT_NEAR(s.tracker->session()->batteryJoules, s.sessionJoules, 1e-6);
  s.tracker->flush();

  // Xcode's 6 W and more: one alert after about a minute, none within half an
  // hour of it, one again after the restart (the cooldown is not kept).
  ASSERT_EQ(s.alerts.size(), 2u);
  EXPECT_EQ(s.alerts[0].second + " " + s.alerts[1].second, "Xcode Xcode");
  EXPECT_LT(s.alerts[0].first, 120);
  EXPECT_GT(s.alerts[1].first, 1620);

  test::RawDatabase db(s.path);
  EXPECT_EQ(db.number("SELECT COUNT(DISTINCT app) FROM app_energy"), s.appJoules.size());
  for (const auto& [app, joules] : s.appJoules) {
    EXPECT_NEAR(db.number("SELECT SUM(joules) FROM app_energy WHERE app='" + app + "'"), joules,
                1e-6)
        << app;
  }
  EXPECT_NEAR(db.number("SELECT SUM(dt) FROM battery WHERE on_ac=0"), s.batterySeconds, 1e-6);
  EXPECT_NEAR(db.number("SELECT SUM(dt) FROM battery WHERE on_ac=1"), s.acSeconds, 1e-6);
  EXPECT_NEAR(db.number("SELECT SUM(watts*dt) FROM battery"), s.signedJoules, 1e-6);
  EXPECT_LE(db.number("SELECT MAX(dt) FROM battery"), 60) << "a row holds at most a minute";
  EXPECT_EQ(db.number("SELECT COUNT(*) FROM app_energy WHERE ts NOT IN (SELECT ts FROM battery)"),
            0);
  EXPECT_EQ(db.number("SELECT on_ac FROM battery WHERE ts=1080"), 0) << "closed at the plug-in";
  EXPECT_EQ(db.text("SELECT bundle_path FROM app_meta WHERE app='Mail'"),
            "/System/Applications/Mail.app");
}

}  // namespace
}  // namespace ebbwise

// Half an hour of a laptop's life, tick by tick: apps come and go, the lid is
// closed for a minute, the charger goes in and out, the program restarts. What
// lands in the history file must add up to the energy that was fed in.

#include <gtest/gtest.h>

#include <set>

#include "core/history_test_support.h"
#include "core/tracker.h"

namespace ebbwise {
namespace {

using test::ProcessCounters;
using test::FakeReaders;
using test::RawDatabase;
using test::reading;
using test::TempFolder;

struct App {
  std::int32_t pid;
  const char* name;
  double watts;
};
constexpr App kApps[] = {
    {100, "Safari", 1.5}, {101, "Safari", 0.2}, {200, "Xcode", 6.0}, {300, "Mail", 1.0}};

struct Scenario {
  std::string path;
  FakeReaders fake;
  ProcessCounters processes;
  std::unique_ptr<Tracker> tracker;
  std::uint64_t launchTicks = 0;
  std::optional<double> last;
  std::set<std::int32_t> seen;  // processes the running tracker has scanned
  int count = 0;
  double percent = 90;
  std::vector<std::pair<double, std::string>> alerts;
  // What was fed in over accounted ticks (not the first after a launch, not after a gap).
  std::map<std::string, double> appJoules;
  double batterySeconds = 0, acSeconds = 0, signedJoules = 0, sessionJoules = 0;

  void launch(double at, std::uint64_t ticks) {
    launchTicks = ticks;
    tracker = std::make_unique<Tracker>(std::make_unique<Store>(path), sys::Date{at}, ticks,
                                        fake.readers());
    last.reset();
    seen.clear();
  }

  void run(double from, double to, bool onAC) {
    for (double t = from; t <= to; t += 5) tick(t, onAC);
  }

  void tick(double t, bool onAC) {
    const double dt = last ? t - *last : 5.0;
    const bool accounted = last && dt < 15;
    double used = 4.0;  // what no process accounts for
    std::set<std::int32_t> scanned;
    for (const App& app : kApps) {
      if (!processes.live.contains(app.pid)) continue;
      double joules = app.watts * dt * (1.0 + 0.1 * (++count % 3));  // no two ticks alike
      processes.use(app.pid, joules);
      used += joules / dt;
      scanned.insert(app.pid);
      // A process first seen counts from its birth only if born after the launch.
      const ProcessKey& key = processes.live.at(app.pid).key;
      if (accounted && (seen.contains(app.pid) || key.start >= launchTicks)) {
        appJoules[app.name] += seen.contains(app.pid) ? joules : joules + 0.5;
      }
    }
    seen = scanned;
    percent += onAC ? 0.02 : -0.03;
    BatteryReading battery = reading(onAC, percent, onAC ? 20.0 : -used);
    fake.system = SystemEnergy{used * dt, onAC ? (used + 25) * dt : 0.0, dt};
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
  TempFolder folder;
  Scenario s;
  s.path = folder.file("joulemark/history.sqlite");
  s.fake.identities = {{100, {"Safari", "/Applications/Safari.app", false}},
                       {101, {"Safari", "/Applications/Safari.app", false}},
                       {200, {"Xcode", "/Applications/Xcode.app", true}},
                       {300, {"Mail", "/System/Applications/Mail.app", false}}};
  for (int pid : {100, 101, 200}) s.processes.start(pid);
  s.launch(0, 1'000);
  s.run(0, 115, false);
  s.processes.start(300, 1'001, 0.5);  // born after the launch, 0.5 J before its first scan
  s.run(120, 395, false);
  s.processes.live.erase(300);
  s.run(400, 600, false);
  s.run(660, 1080, false);  // after a minute with the lid closed
  EXPECT_EQ(s.tracker->session()->start, sys::Date{0});
  EXPECT_NEAR(s.tracker->session()->batteryJoules, s.sessionJoules, 1e-6);
  s.run(1085, 1320, true);
  EXPECT_EQ(s.tracker->session()->start, sys::Date{0}) << "kept while on AC";
  s.sessionJoules = 0;
  s.run(1325, 1560, false);
  const Session beforeQuit = *s.tracker->session();
  EXPECT_EQ(beforeQuit.start, sys::Date{1325});
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
  EXPECT_EQ(s.alerts[0].second, "Xcode");
  EXPECT_LT(s.alerts[0].first, 120);
  EXPECT_EQ(s.alerts[1].second, "Xcode");
  EXPECT_GT(s.alerts[1].first, 1620);

  RawDatabase db(s.path);
  EXPECT_EQ(db.number("SELECT COUNT(DISTINCT app) FROM app_energy"), s.appJoules.size());
  for (const auto& [app, joules] : s.appJoules) {
    EXPECT_NEAR(db.number("SELECT SUM(joules) FROM app_energy WHERE app='" + app + "'"), joules,
                1e-6)
        << app;
  }
  EXPECT_NEAR(db.number("SELECT SUM(dt) FROM battery WHERE on_ac=0"), s.batterySeconds, 1e-6);
  EXPECT_NEAR(db.number("SELECT SUM(dt) FROM battery WHERE on_ac=1"), s.acSeconds, 1e-6);
  EXPECT_NEAR(db.number("SELECT SUM(watts*dt) FROM battery"), s.signedJoules, 1e-6);
  EXPECT_EQ(db.number("SELECT COUNT(*) FROM app_energy WHERE ts NOT IN (SELECT ts FROM battery)"),
            0);
  EXPECT_EQ(db.number("SELECT on_ac FROM battery WHERE ts=1080"), 0) << "closed at the plug-in";
  EXPECT_EQ(db.text("SELECT bundle_path FROM app_meta WHERE app='Mail'"),
            "/System/Applications/Mail.app");
}

}  // namespace
}  // namespace ebbwise

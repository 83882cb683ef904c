// Half an hour of a laptop's life, tick by tick: apps come and go, the lid is
// closed for a minute, the charger goes in and out, and the program restarts.
// What lands in the history file must add up to the energy that was fed in.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/history_test_support.h"
#include "core/tracker.h"
#include "core/tracker_test_rig.h"

namespace ebbwise {
namespace {

using testing::FakeProcesses;
using testing::FakeReaders;
using testing::RawDatabase;
using testing::reading;
using testing::TempFolder;

constexpr double kT0 = 1'700'000'000;
constexpr double kBaseWatts = 4.0;  // what no process accounts for

struct App {
  std::int32_t pid;
  const char* name;
  double watts;
};
constexpr App kApps[] = {
    {100, "Safari", 1.5}, {101, "Safari", 0.2}, {200, "Xcode", 6.0}, {300, "Mail", 1.0}};

class Scenario {
 public:
  explicit Scenario(std::string path) : path_(std::move(path)) {
    fake_.identities = {{100, {"Safari", "/Applications/Safari.app", false}},
                        {101, {"Safari", "/Applications/Safari.app", false}},
                        {200, {"Xcode", "/Applications/Xcode.app", true}},
                        {300, {"Mail", "/System/Applications/Mail.app", false}}};
    for (int pid : {100, 101, 200}) processes_.start(pid);
  }

  // Starts the program: processes already running count from first sight.
  void launch(double at, std::uint64_t machineTicks) {
    launchTicks_ = machineTicks;
    seen_.clear();
    born_.clear();
    tracker_ = std::make_unique<Tracker>(std::make_unique<Store>(path_), sys::Date{kT0 + at},
                                         machineTicks, fake_.readers());
    last_.reset();
  }

  void quit() {
    tracker_->flush();
    tracker_.reset();
  }

  void startMail() {
    processes_.start(300, launchTicks_ + 1, 500'000'000);  // 0.5 J before its first scan
    born_.insert(300);
  }
  void stopMail() { processes_.stop(300); }

  // Ticks every 5 seconds from `from` to `to`, both included.
  void run(double from, double to, bool onAC) {
    for (double t = from; t <= to; t += 5) tickAt(t, onAC);
  }

  void tickAt(double t, bool onAC) {
    const double dt = last_ ? t - *last_ : 5.0;
    const bool accounted = last_ && dt < 15;
    ++count_;

    double used = kBaseWatts;
    std::map<std::string, double> used_by_app;
    for (const App& app : kApps) {
      if (!processes_.live.contains(app.pid)) continue;
      const bool firstSight = !seen_.contains(app.pid);
      // A little wobble so that no two ticks are alike.
      double joules = app.watts * dt * (1.0 + 0.1 * (count_ % 3));
      processes_.use(app.pid, joules);
      used += joules / dt;
      if (accounted) {
        if (!firstSight) {
          used_by_app[app.name] += joules;
        } else if (born_.contains(app.pid)) {
          used_by_app[app.name] += joules + 0.5;
        }
      }
    }
    for (const App& app : kApps) {
      if (processes_.live.contains(app.pid)) {
        seen_.insert(app.pid);
      } else {
        seen_.erase(app.pid);
      }
    }

    percent_ += onAC ? 0.02 : -0.03;
    BatteryReading battery = reading(onAC, percent_, onAC ? 20.0 : -used);
    fake_.system = SystemEnergy{used * dt, onAC ? (used + 25) * dt : 0.0, dt};

    auto alerts = tracker_->tick(sys::Date{kT0 + t}, battery, processes_.samples());
    for (const auto& alert : alerts) alerts_.push_back({t, alert.app});
    last_ = t;

    if (accounted) {
      for (const auto& [app, joules] : used_by_app) fedJoules[app] += joules;
      (onAC ? acSeconds : batterySeconds) += dt;
      signedBatteryJoules += battery.watts * dt;
      if (!onAC) sessionJoules += used * dt;
    }
  }

  void resetSession() { sessionJoules = 0; }

  Tracker& tracker() { return *tracker_; }
  double percent() const { return percent_; }
  const std::vector<std::pair<double, std::string>>& alerts() const { return alerts_; }

  // What was fed in, over accounted ticks only.
  std::map<std::string, double> fedJoules;
  double batterySeconds = 0;
  double acSeconds = 0;
  double signedBatteryJoules = 0;
  double sessionJoules = 0;  // energy of the current on-battery stretch

 private:
  std::string path_;
  FakeReaders fake_;
  FakeProcesses processes_;
  std::unique_ptr<Tracker> tracker_;
  std::uint64_t launchTicks_ = 0;
  std::optional<double> last_;
  std::set<std::int32_t> seen_;  // processes the current tracker has scanned
  std::set<std::int32_t> born_;  // processes started after the current launch
  int count_ = 0;
  double percent_ = 90;
  std::vector<std::pair<double, std::string>> alerts_;
};

TEST(TrackerScenario, HalfAnHourOfTicksAddsUpInTheHistoryFile) {
  TempFolder folder;
  const std::string path = folder.file("joulemark/history.sqlite");
  Scenario s(path);
  s.launch(0, 1'000);

  s.run(0, 115, false);
  s.startMail();
  s.run(120, 395, false);
  s.stopMail();
  s.run(400, 600, false);
  // The lid is closed for a minute.
  s.run(660, 1080, false);
  ASSERT_TRUE(s.tracker().session());
  EXPECT_EQ(s.tracker().session()->start, sys::Date{kT0});
  EXPECT_NEAR(s.tracker().session()->batteryJoules, s.sessionJoules, 1e-6);

  // Plugged in: the session stays until the next unplug.
  s.run(1085, 1320, true);
  EXPECT_EQ(s.tracker().session()->start, sys::Date{kT0});
  s.resetSession();
  s.run(1325, 1560, false);
  const Session beforeQuit = *s.tracker().session();
  EXPECT_EQ(beforeQuit.start, sys::Date{kT0 + 1325});
  EXPECT_NEAR(beforeQuit.batteryJoules, s.sessionJoules, 1e-6);
  EXPECT_TRUE(s.tracker().isDevTool("Xcode"));
  s.quit();

  // A restart a minute later picks the session up from the history.
  s.launch(1620, 5'000);
  EXPECT_EQ(s.tracker().bundlePaths().at("Xcode"), "/Applications/Xcode.app");
  s.tickAt(1620, false);
  const Session restored = *s.tracker().session();
  // The minute of the unplug began with the tick before it.
  EXPECT_EQ(restored.start, sys::Date{kT0 + 1320});
  EXPECT_NEAR(restored.batteryJoules, beforeQuit.batteryJoules, 1e-6);
  ASSERT_EQ(restored.appJoules.size(), beforeQuit.appJoules.size());
  for (const auto& [app, joules] : beforeQuit.appJoules) {
    EXPECT_NEAR(restored.appJoules.at(app), joules, 1e-6) << app;
  }
  s.run(1625, 1800, false);
  EXPECT_NEAR(s.tracker().session()->batteryJoules, s.sessionJoules, 1e-6);
  s.quit();

  // Xcode draws 6 W or more: one alert after about a minute, none again within
  // half an hour, and again after the restart (the cooldown is not kept).
  ASSERT_EQ(s.alerts().size(), 2u);
  EXPECT_EQ(s.alerts()[0].second, "Xcode");
  EXPECT_LT(s.alerts()[0].first, 120);
  EXPECT_EQ(s.alerts()[1].second, "Xcode");
  EXPECT_GT(s.alerts()[1].first, 1620);

  RawDatabase db(path);
  for (const auto& [app, joules] : s.fedJoules) {
    EXPECT_NEAR(*db.number("SELECT SUM(joules) FROM app_energy WHERE app='" + app + "'"), joules,
                1e-6)
        << app;
  }
  EXPECT_EQ(db.number("SELECT COUNT(DISTINCT app) FROM app_energy"), 3);
  EXPECT_NEAR(*db.number("SELECT SUM(dt) FROM battery WHERE on_ac=0"), s.batterySeconds, 1e-6);
  EXPECT_NEAR(*db.number("SELECT SUM(dt) FROM battery WHERE on_ac=1"), s.acSeconds, 1e-6);
  EXPECT_NEAR(*db.number("SELECT SUM(watts*dt) FROM battery"), s.signedBatteryJoules, 1e-6);
  EXPECT_LE(*db.number("SELECT MAX(dt) FROM battery"), 60);
  EXPECT_EQ(db.number("SELECT COUNT(*) FROM app_energy WHERE ts NOT IN (SELECT ts FROM battery)"),
            0);
  // The plug-in closed the last battery minute at once, at its last tick.
  EXPECT_EQ(db.number("SELECT on_ac FROM battery WHERE ts=" + std::to_string(kT0 + 1080)), 0);
  EXPECT_NEAR(*db.number("SELECT pct FROM battery ORDER BY ts DESC LIMIT 1"), s.percent(), 1e-9);
  EXPECT_EQ(db.text("SELECT bundle_path FROM app_meta WHERE app='Mail'"),
            "/System/Applications/Mail.app");
}

}  // namespace
}  // namespace ebbwise

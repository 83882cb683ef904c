// Three simulated days of the whole monitor ("three-days": lunch sleeps,
// afternoon charges, nights on the charger, a heavy render, a photo editor
// just under the alert line, a fullscreen film, a browser holding the
// speakers), held to the machine's truth. The monitor is stopped and started
// twice on the same history file and settings: for two minutes in the middle
// of Monday's second on-battery stretch, and for an hour and a half on
// Tuesday, during which the Mac is charged and unplugged.
//
// The days are simulated once per test process and shared by its checks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "accounting/since_charge.h"
#include "app/monitor.h"
#include "history/store.h"
#include "sim/scenario.h"
#include "sim/sim_notifications.h"
#include "sim/simulation.h"
#include "support/history_test_support.h"

namespace ebbwise {
namespace {

constexpr double kHour = 3600;
constexpr double kJoulesPerWh = 3600;
// The tracker discards a tick this long after the previous one.
constexpr double kGapSeconds = 15;
// The heavy-app rules: a 3-minute average of at least 2 W on battery, at
// most once per app in 30 minutes.
constexpr double kAlertWatts = 2.0;
constexpr double kAlertSmoothing = 180;
constexpr double kAlertCooldown = 1800;

// When the monitor is not running, in seconds from the scenario's start.
constexpr double kShortStop = 2 * kHour + 20 * 60, kShortStart = 2 * kHour + 22 * 60;
constexpr double kLongStop = 25.5 * kHour, kLongStart = 27 * kHour;
constexpr double kEnd = 72 * kHour;

double relativeError(double measured, double truth) {
  return std::abs(measured - truth) / std::abs(truth);
}

using RowJoules = std::map<std::string, double>;

// The true energy of every row during the ticks the monitor accounts on
// battery, gathered tick by tick over all its runs.
class DaysTruth {
 public:
  explicit DaysTruth(sim::SimulatedMac& mac) : mac_(mac) {}

  // A monitor (re)started: its first tick opens no interval.
  void started(const Monitor& monitor) {
    mac_.rowSnapshot(previous_);
    lastTick_ = monitor.lastTickAt;
  }

  void tick(const Monitor& monitor, double elapsed) {
    mac_.rowSnapshot(current_);
    const double dt = lastTick_ && monitor.lastTickAt ? *monitor.lastTickAt - *lastTick_ : 0;
    // Every tick the tracker accounts feeds the heavy-app averages; only
    // those on battery count in the history's ranges and the session.
    const bool accounted = dt > 0 && dt < kGapSeconds && monitor.battery;
    const bool onBattery = accounted && !monitor.battery->onAC;
    if (monitor.session && monitor.session->start != sessionStart_) {
      sessionStart_ = monitor.session->start;
      session_.clear();
    }
    perTick.clear();
    if (accounted) {
      const std::vector<std::string>& names = mac_.rowNames();
      for (std::size_t i = 0; i < names.size(); ++i) {
        const double joules = current_.rows[i].joules() - previous_.rows[i].joules();
        if (joules == 0) continue;
        perTick[names[i]] = joules;
        if (!onBattery) continue;
        all[names[i]] += joules;
        if (elapsed > kEnd - 24 * kHour) lastDay[names[i]] += joules;
        session_[names[i]] += joules;
      }
    }
    lastAccountedDt = accounted ? dt : 0;
    // The stored ledger is at most a minute behind.
    if (monitor.lastTickAt) {
      sessionByTick_.emplace_back(*monitor.lastTickAt, session_);
      if (sessionByTick_.size() > 40) sessionByTick_.pop_front();
    }
    std::swap(previous_, current_);
    lastTick_ = monitor.lastTickAt;
  }

  // The session's true energy per row up to the tick at `date`.
  std::optional<RowJoules> sessionAt(sys::Date date) const {
    // Stored dates count from 2001, so the round trip may move them a little.
    for (const auto& [at, rows] : sessionByTick_) {
      if (std::abs(at - date) < 0.01) return rows;
    }
    return std::nullopt;
  }

  RowJoules all, lastDay;
  RowJoules perTick;  // this tick's energy per row, when accounted, on battery or not
  double lastAccountedDt = 0;

 private:
  sim::SimulatedMac& mac_;
  sim::RowSnapshot previous_, current_;
  std::optional<sys::Date> lastTick_;
  std::optional<sys::Date> sessionStart_;
  RowJoules session_;
  std::deque<std::pair<sys::Date, RowJoules>> sessionByTick_;
};

// The heavy-app rules applied to the true per-tick energy of the ticks the
// monitor accounts: when each app should be reported. The averages start
// afresh with every run of the monitor; the last report of each app does not.
class TrueAlerts {
 public:
  void started() { averages_.clear(); }

  void tick(const DaysTruth& truth, bool onBattery, double elapsed) {
    const double dt = truth.lastAccountedDt;
    if (dt <= 0) return;
    for (auto& [app, average] : averages_) {
      if (!truth.perTick.contains(app)) average += (1 - std::exp(-dt / kAlertSmoothing)) * -average;
    }
    for (const auto& [app, joules] : truth.perTick) {
      double& average = averages_[app];
      average += (1 - std::exp(-dt / kAlertSmoothing)) * (joules / dt - average);
      peak[app] = std::max(peak[app], average);
      if (!onBattery || average < kAlertWatts) continue;
      auto last = lastAlert_.find(app);
      if (last != lastAlert_.end() && elapsed - last->second < kAlertCooldown) continue;
      lastAlert_[app] = elapsed;
      alerts.push_back({app, elapsed});
    }
  }

  struct Alert {
    std::string app;
    double at = 0;  // seconds from the scenario's start
  };
  std::vector<Alert> alerts;
  RowJoules peak;  // highest 3-minute average on battery or not, watts

 private:
  RowJoules averages_;
  std::map<std::string, double> lastAlert_;
};

struct StoredLedger {
  double at = 0;  // seconds from the scenario's start
  std::optional<SinceCharge> ledger;
  std::optional<RowJoules> truth;  // the session's true energy up to the ledger's last addition
};

struct Days {
  RowJoules trueAll, trueLastDay, storedAll, storedLastDay;
  std::optional<Session> beforeShort, afterShort, beforeLong, afterLong;
  std::vector<StoredLedger> ledgers;  // before and after each stop, and before each plug
  std::vector<TrueAlerts::Alert> expectedAlerts;
  std::vector<TrueAlerts::Alert> raisedAlerts;
  RowJoules peakWatts;
  std::string heavyApp, editorApp;
};

std::string rowOf(sim::SimulatedMac& mac, std::string_view pathPart) {
  for (const auto& process : mac.truth().processes) {
    if (process.path.find(pathPart) != std::string::npos) return process.row;
  }
  return {};
}

Days simulate() {
  Days days;
  test::TempFolder folder;
  const std::string path = folder.file("history.sqlite");
  auto parsed = sim::Scenario::embedded("three-days");
  EXPECT_TRUE(parsed) << parsed.error;
  if (!parsed) return days;
  sim::Simulation simulation(*parsed.scenario);
  sys::Platform platform = simulation.platform();
  DaysTruth truth(simulation.mac());
  TrueAlerts trueAlerts;
  std::unique_ptr<Monitor> monitor;

  auto storedLedger = [&] {
    StoredLedger stored{simulation.elapsed(), std::nullopt, std::nullopt};
    if (auto value = platform.userDefaults.object("sinceCharge")) {
      stored.ledger = SinceCharge::fromJSON(*value);
      if (stored.ledger && stored.ledger->lastAdd) {
        stored.truth = truth.sessionAt(*stored.ledger->lastAdd);
      }
    }
    days.ledgers.push_back(std::move(stored));
  };
  auto start = [&] {
    monitor = std::make_unique<Monitor>(platform, std::make_unique<Store>(path));
    truth.started(*monitor);
    trueAlerts.started();
    monitor->setTickObserver([&] {
      const double elapsed = simulation.elapsed();
      truth.tick(*monitor, elapsed);
      trueAlerts.tick(truth, monitor->battery && !monitor->battery->onAC, elapsed);
    });
  };
  auto stop = [&] {
    monitor->willTerminate();
    monitor.reset();
  };
  // Runs to `until`, reading the stored ledger just before each plug.
  auto runUntil = [&](double until) {
    for (const auto& e : parsed.scenario->events) {
      if (e.type != sim::EventType::plug || e.at <= simulation.elapsed() || e.at > until) continue;
      simulation.runFor(e.at - 1 - simulation.elapsed());
      storedLedger();
    }
    simulation.runFor(until - simulation.elapsed());
  };

  start();
  days.heavyApp = rowOf(simulation.mac(), "Blender.app");
  days.editorApp = rowOf(simulation.mac(), "Lightroom.app");
  runUntil(kShortStop);
  days.beforeShort = monitor->session;
  storedLedger();
  stop();
  simulation.runFor(kShortStart - simulation.elapsed());
  start();
  days.afterShort = monitor->session;
  simulation.runFor(1);
  storedLedger();

  runUntil(kLongStop);
  days.beforeLong = monitor->session;
  storedLedger();
  stop();
  simulation.runFor(kLongStart - simulation.elapsed());
  start();
  days.afterLong = monitor->session;
  simulation.runFor(1);
  storedLedger();
  runUntil(kEnd);
  stop();

  auto& center = dynamic_cast<sim::SimUserNotificationCenter&>(platform.notifications);
  for (const auto& shown : center.history()) {
    const std::string& id = shown.request.identifier;
    if (id.rfind("heavy-", 0) != 0) continue;
    days.raisedAlerts.push_back({id.substr(6), shown.date - simulation.mac().startDate()});
  }
  days.expectedAlerts = trueAlerts.alerts;
  days.peakWatts = trueAlerts.peak;
  days.trueAll = truth.all;
  days.trueLastDay = truth.lastDay;
  Store store(path);
  const double end = simulation.mac().startDate().secondsSince1970 + kEnd;
  days.storedAll = store.appJoulesOnBattery(end - 7 * 24 * kHour);
  days.storedLastDay = store.appJoulesOnBattery(end - 24 * kHour);
  return days;
}

const Days& threeDays() {
  static const Days days = simulate();
  return days;
}

// Every app that drew more than a watt-hour in the range, within 0.5 %.
void expectRangeMatches(const RowJoules& stored, const RowJoules& truth, int atLeast) {
  int apps = 0;
  for (const auto& [app, joules] : truth) {
    if (joules <= kJoulesPerWh || app.empty()) continue;
    ++apps;
    auto found = stored.find(app);
    ASSERT_NE(found, stored.end()) << app << " is missing from the history";
    EXPECT_LT(relativeError(found->second, joules), 0.005)
        << app << ": " << found->second << " J stored, " << joules << " J true";
  }
  EXPECT_GE(apps, atLeast);
}

TEST(ThreeDaysTest, HistoryRangesAndRestartsMatchTheTruth) {
  const Days& days = threeDays();
  ASSERT_FALSE(days.heavyApp.empty());
  ASSERT_FALSE(days.editorApp.empty());
  {
    SCOPED_TRACE("the days are what the checks need");
    // The render crosses the alert line; the photo editor stays just under
    // it all the time, so an alert for it would be a false one.
    EXPECT_GT(days.peakWatts.at(days.heavyApp), 2 * kAlertWatts);
    EXPECT_LT(days.peakWatts.at(days.editorApp), kAlertWatts);
    EXPECT_GT(days.peakWatts.at(days.editorApp), 0.85 * kAlertWatts);
    EXPECT_GE(days.expectedAlerts.size(), 5u);
  }
  {
    SCOPED_TRACE("the 7-day range: all three days");
    expectRangeMatches(days.storedAll, days.trueAll, 3);
  }
  {
    SCOPED_TRACE("the 24-hour range: the third day");
    expectRangeMatches(days.storedLastDay, days.trueLastDay, 3);
    EXPECT_LT(days.trueLastDay.at(days.heavyApp), 0.5 * days.trueAll.at(days.heavyApp));
  }
  {
    SCOPED_TRACE("a two-minute stop on battery: the session goes on");
    ASSERT_TRUE(days.beforeShort && days.afterShort);
    EXPECT_EQ(days.afterShort->start, days.beforeShort->start);
    EXPECT_LT(relativeError(days.afterShort->batteryJoules, days.beforeShort->batteryJoules),
              0.005);
  }
  {
    SCOPED_TRACE("a stop of an hour and a half with a charge in it: a new session");
    ASSERT_TRUE(days.beforeLong && days.afterLong);
    EXPECT_GT(days.afterLong->start, days.beforeLong->start);
    EXPECT_LT(days.afterLong->batteryJoules, 100);
  }
}

// The ledger is checked where it is stored: in the settings, at most a
// minute behind, against the truth up to its own last addition.
TEST(ThreeDaysTest, LedgerRowsMatchTheTruthAndSurviveTheShortRestart) {
  const Days& days = threeDays();
  int rows = 0;
  for (const StoredLedger& stored : days.ledgers) {
    if (!stored.ledger || !stored.truth) continue;
    for (const auto& [row, joules] : stored.ledger->joules) {
      auto truth = stored.truth->find(row);
      if (truth == stored.truth->end() || truth->second <= kJoulesPerWh) continue;
      ++rows;
      EXPECT_LT(relativeError(joules, truth->second), 0.01)
          << row << " at " << stored.at / kHour << " h: " << joules << " J in the ledger, "
          << truth->second << " J true";
    }
  }
  EXPECT_GE(rows, 10);

  // Stored ledgers in order: the plugs before the short stop, then the stop
  // and the restart, and so on; find the ones around each stop.
  auto around = [&](double stopAt) {
    std::optional<SinceCharge> before, after;
    for (const StoredLedger& stored : days.ledgers) {
      if (stored.at <= stopAt) before = stored.ledger;
      if (stored.at > stopAt && !after) after = stored.ledger;
    }
    return std::pair{before, after};
  };
  {
    SCOPED_TRACE("continued across the two-minute stop");
    auto [before, after] = around(kShortStop);
    ASSERT_TRUE(before && after);
    EXPECT_EQ(after->start, before->start);
    for (const auto& [row, joules] : before->joules) {
      ASSERT_TRUE(after->joules.contains(row)) << row;
      EXPECT_GE(after->joules.at(row), joules) << row;
    }
  }
  {
    SCOPED_TRACE("replaced after the long stop with a charge in it");
    auto [before, after] = around(kLongStop);
    ASSERT_TRUE(before && after);
    ASSERT_TRUE(days.afterLong);
    EXPECT_NE(after->start, before->start);
    EXPECT_EQ(after->start, days.afterLong->start);
    EXPECT_LT(after->total(), before->total());
  }
}

TEST(ThreeDaysTest, AlertsComeForTheHeavyAppWhenTheTrueLoadCallsForThem) {
  const Days& days = threeDays();
  ASSERT_FALSE(days.expectedAlerts.empty());
  for (const auto& alert : days.expectedAlerts) EXPECT_EQ(alert.app, days.heavyApp);
  // The measured energy of a tick is within a fraction of a percent of the
  // truth, so a crossing can fall one tick either side.
  ASSERT_EQ(days.raisedAlerts.size(), days.expectedAlerts.size());
  for (std::size_t i = 0; i < days.raisedAlerts.size(); ++i) {
    EXPECT_EQ(days.raisedAlerts[i].app, days.expectedAlerts[i].app) << i;
    EXPECT_NEAR(days.raisedAlerts[i].at, days.expectedAlerts[i].at, Tracker::interval + 1)
        << "alert " << i << " for " << days.raisedAlerts[i].app;
  }
  // The stop in the render's first half hour on Monday morning does not
  // start its cool-down afresh: the next alert comes 30 minutes after the
  // one before the stop.
  int acrossStop = 0;
  for (std::size_t i = 1; i < days.raisedAlerts.size(); ++i) {
    if (days.raisedAlerts[i - 1].at < kShortStop && days.raisedAlerts[i].at > kShortStart) {
      ++acrossStop;
      EXPECT_GE(days.raisedAlerts[i].at - days.raisedAlerts[i - 1].at, kAlertCooldown);
    }
  }
  EXPECT_EQ(acrossStop, 1);
}

}  // namespace
}  // namespace ebbwise

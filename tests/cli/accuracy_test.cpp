// The monitor on the simulated MacBook, held to what really happened. Each
// test wires a Simulation, a Monitor with a history file in a scratch folder
// and a SessionTruth the way the report command does, lets simulated time
// pass and compares the monitor's figures with the machine's ground truth.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/monitor.h"
#include "app/session_report.h"
#include "base/time_left.h"
#include "cli/report_command.h"
#include "cli/session_truth.h"
#include "history/store.h"
#include "sensors/processes/process_scanner.h"
#include "sim/scenario.h"
#include "sim/simulation.h"
#include "support/history_test_support.h"
#include "support/stub_environment.h"
#include "sys/value.h"

namespace ebbwise {
namespace {

using test::TempFolder;

constexpr double kJoulesPerWh = 3600;

sim::Scenario embedded(std::string_view name) {
  auto parsed = sim::Scenario::embedded(name);
  EXPECT_TRUE(parsed) << parsed.error;
  return parsed ? *parsed.scenario : sim::Scenario{};
}

double relativeError(double measured, double truth) {
  return std::abs(measured - truth) / std::abs(truth);
}

// Keeps a figure in the test's record (--gtest_output), for reading the
// accuracy without a debugger.
void record(const std::string& key, double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", value);
  ::testing::Test::RecordProperty(key, text);
}

// The monitor running on a simulated machine, with the truth of its session
// gathered tick by tick. The monitor can be stopped and started again on
// the same history file, as when the program restarts.
class MonitoredMac {
 public:
  MonitoredMac(sim::Scenario scenario, std::string historyPath)
      : simulation_(std::move(scenario)), historyPath_(std::move(historyPath)) {
    start();
  }
  ~MonitoredMac() { stop(); }

  void start() {
    monitor_ =
        std::make_unique<Monitor>(simulation_.platform(), std::make_unique<Store>(historyPath_));
    truth_ = std::make_unique<SessionTruth>(simulation_.mac(), *monitor_);
    monitor_->setTickObserver([this] {
      truth_->tick();
      if (afterTick) afterTick();
    });
  }

  // Writes the partial minute and ends the monitor, as the program does when it quits.
  void stop() {
    if (!monitor_) return;
    monitor_->willTerminate();
    truth_.reset();
    monitor_.reset();
  }

  void runFor(double seconds) { simulation_.runFor(seconds); }

  Monitor& monitor() { return *monitor_; }
  SessionTruth& truth() { return *truth_; }
  sim::SimulatedMac& mac() { return simulation_.mac(); }

  // Called after every tick, once the truth has taken it.
  std::function<void()> afterTick;

 private:
  sim::Simulation simulation_;
  std::string historyPath_;
  std::unique_ptr<Monitor> monitor_;
  std::unique_ptr<SessionTruth> truth_;
};

// One simulated hour of the default machine on battery. The checks share the
// run, so one test holds them all (the test runner starts every test in a
// process of its own).
TEST(DefaultHourTest, SessionAppsGraphicsAndLiveRowsMatchTheTruth) {
  TempFolder folder;
  MonitoredMac mac(embedded("default"), folder.file("history.sqlite"));
  int ticks = 0;
  // How far the live rows' sum fell short of, or went over, the drain they split.
  double worstRowGap = 0, worstRowExcess = 0;
  mac.afterTick = [&] {
    const Monitor& m = mac.monitor();
    ++ticks;
    if (!m.nowDrain || *m.nowDrain <= 0) return;
    double sum = 0;
    for (const auto& row : m.nowRows) sum += row.watts;
    worstRowGap = std::max(worstRowGap, *m.nowDrain - sum);
    worstRowExcess = std::max(worstRowExcess, sum - *m.nowDrain);
  };
  mac.runFor(3600);

  const Monitor& m = mac.monitor();
  ASSERT_TRUE(m.session);
  const Session& session = *m.session;
  const std::map<std::string, sim::RowTruth> trueRows = mac.truth().rows();
  {
    SCOPED_TRACE("the session's energy against the true system energy");
    EXPECT_NEAR(*m.lastTickAt - session.start, 3600, Monitor::kTickTolerance + Tracker::interval);
    const double truth = mac.truth().systemJoules();
    ASSERT_GT(truth, 10 * kJoulesPerWh);
    record("sessionRelativeError", relativeError(session.batteryJoules, truth));
    EXPECT_LT(relativeError(session.batteryJoules, truth), 0.005)
        << session.batteryJoules << " J measured, " << truth << " J true";
  }
  {
    // Under the name the identity rules give it: a misnamed app would show
    // here as a true row without a measured one.
    SCOPED_TRACE("every app above a watt-hour against its true energy");
    int heavy = 0;
    double worst = 0;
    for (const auto& [row, truth] : trueRows) {
      if (truth.joules() <= kJoulesPerWh) continue;
      ++heavy;
      auto measured = session.appJoules.find(row);
      ASSERT_NE(measured, session.appJoules.end()) << row << " was never measured";
      worst = std::max(worst, relativeError(measured->second, truth.joules()));
      EXPECT_LT(relativeError(measured->second, truth.joules()), 0.005)
          << row << ": " << measured->second << " J measured, " << truth.joules() << " J true";
    }
    EXPECT_GE(heavy, 4) << "the default hour should have several heavy apps";
    record("appWorstRelativeError", worst);
  }
  {
    // The chip's graphics energy is billed to the apps by GPU time; each
    // app's share should be its own GPU energy.
    SCOPED_TRACE("each app's billed graphics against its true GPU energy");
    int graphicsApps = 0;
    double worst = 0;
    for (const auto& [row, truth] : trueRows) {
      if (truth.gpuJoules < 300) continue;
      ++graphicsApps;
      auto billed = session.appGraphicsJoules.find(row);
      ASSERT_NE(billed, session.appGraphicsJoules.end()) << row << " was billed no graphics";
      worst = std::max(worst, relativeError(billed->second, truth.gpuJoules));
      EXPECT_LT(relativeError(billed->second, truth.gpuJoules), 0.01)
          << row << ": " << billed->second << " J billed, " << truth.gpuJoules << " J true";
    }
    EXPECT_GE(graphicsApps, 4);
    record("graphicsWorstRelativeError", worst);
  }
  {
    // The live breakdown splits the measured drain: its rows add up to it,
    // short only by rows under 5 mW that are left out (apps, "Other apps",
    // video, macOS and the hardware: at most ten of them).
    SCOPED_TRACE("the live rows against the drain they split");
    EXPECT_GE(ticks, 715);
    record("worstRowGapWatts", worstRowGap);
    EXPECT_LE(worstRowGap, 10 * 0.005);
    EXPECT_LE(worstRowExcess, 1e-9);
    ASSERT_TRUE(m.nowDrain);
    double fractions = 0;
    for (const auto& row : m.nowRows) fractions += row.row.fraction;
    EXPECT_NEAR(fractions, 1.0, 10 * 0.005 / *m.nowDrain);
  }
}

// A machine under a load that does not move: the time left from the
// 15-minute drain is near the true time to empty. It reads long by a few
// percent, and by more the fuller the battery: the gauge's charge times its
// voltage now counts the rest of the charge at today's voltage, which falls
// as the battery empties. The report shows the true figure beside it.
TEST(SteadyLoadTest, TimeLeftIsNearTheTrueTimeToEmpty) {
  auto parsed = sim::Scenario::parse(R"({
    "name": "steady",
    "machine": {"backgroundDaemons": 0, "seed": 5, "battery": {"percent": 80}},
    "processes": [
      {"id": "WindowServer", "root": true, "compositor": true, "cpu": 0.3, "gpu": 0.6,
       "fluctuation": 0,
       "path": "/System/Library/PrivateFrameworks/SkyLight.framework/Versions/A/Resources/WindowServer"},
      {"id": "editor", "path": "/Applications/Editor.app/Contents/MacOS/Editor",
       "cpu": 2.5, "gpu": 0.8, "fluctuation": 0},
      {"id": "build", "path": "/usr/local/bin/builder", "cpu": 6, "fluctuation": 0}
    ]})",
                                     "steady");
  ASSERT_TRUE(parsed) << parsed.error;
  TempFolder folder;
  MonitoredMac mac(*parsed.scenario, folder.file("history.sqlite"));
  mac.runFor(15 * 60);
  double worst = 0;
  for (int minute = 15; minute <= 20; ++minute) {
    const Monitor& m = mac.monitor();
    ASSERT_TRUE(m.minutesLeft) << "minute " << minute;
    const double truth = mac.mac().trueMinutesToEmpty();
    worst = std::max(worst, relativeError(*m.minutesLeft, truth));
    EXPECT_GT(*m.minutesLeft, truth) << "minute " << minute;
    EXPECT_LT(relativeError(*m.minutesLeft, truth), 0.08)
        << "minute " << minute << ": " << *m.minutesLeft << " min shown, " << truth << " true";
    mac.runFor(60);
  }
  record("worstRelativeError", worst);
}

// Other users' processes (the window server, root daemons) keep their
// energy counters from the monitor: no app row gets their energy, and the
// live "macOS itself" row carries it with the chip's own work.
TEST(SystemRowsTest, OtherUsersProcessesLandInTheMacOSRow) {
  auto parsed = sim::Scenario::parse(R"({
    "name": "others",
    "machine": {"backgroundDaemons": 0, "seed": 9, "battery": {"percent": 90}},
    "processes": [
      {"id": "WindowServer", "root": true, "compositor": true, "cpu": 0.3, "gpu": 0.7,
       "fluctuation": 0,
       "path": "/System/Library/PrivateFrameworks/SkyLight.framework/Versions/A/Resources/WindowServer"},
      {"id": "indexer", "root": true, "path": "/usr/libexec/indexer", "cpu": 1.6, "fluctuation": 0},
      {"id": "editor", "path": "/Applications/Editor.app/Contents/MacOS/Editor",
       "cpu": 2.2, "gpu": 0.5, "fluctuation": 0}
    ]})",
                                     "others");
  ASSERT_TRUE(parsed) << parsed.error;
  TempFolder folder;
  MonitoredMac mac(*parsed.scenario, folder.file("history.sqlite"));
  mac.runFor(9 * 60);
  const sim::TruthSnapshot before = mac.mac().truth();
  mac.runFor(60);
  const sim::TruthInterval minute = interval(before, mac.mac().truth());

  const Monitor& m = mac.monitor();
  ASSERT_TRUE(m.session);
  for (const char* hidden : {"WindowServer", "indexer", "launchd", "kernel_task"}) {
    EXPECT_FALSE(m.session->appJoules.contains(hidden)) << hidden;
  }
  const auto trueRows = mac.truth().rows();
  ASSERT_TRUE(trueRows.contains("Editor"));
  EXPECT_FALSE(trueRows.contains("WindowServer"));
  EXPECT_LT(relativeError(m.session->appJoules.at("Editor"), trueRows.at("Editor").joules()),
            0.005);

  // The chip's work that no app's counter shows: the unbillable processes'
  // CPU and GPU, and memory, fabric and neural engine.
  double billable = 0;
  for (const auto& p : minute.processes) {
    if (p.billable) billable += p.joules();
  }
  const double chipWork = minute.chipJoules() - minute.part(sim::Part::video);
  const double expected = (chipWork - billable) / minute.seconds;
  auto macOS = std::find_if(m.nowRows.begin(), m.nowRows.end(),
                            [](const RowWatts& row) { return row.row.name == AppShare::macName; });
  ASSERT_NE(macOS, m.nowRows.end());
  record("macOSRelativeError", relativeError(macOS->watts, expected));
  EXPECT_LT(relativeError(macOS->watts, expected), 0.02)
      << macOS->watts << " W shown, " << expected << " W true";
  EXPECT_GT(expected, 1.6 + 0.3);  // at least the hidden processes' CPU
}

// A machine that starts nearly empty under a heavy load runs out of battery
// within minutes: it hibernates, the monitor sees a sleep and measures
// nothing meanwhile, and the report says when the battery ran out.
TEST(HibernationTest, TheMonitorSeesTheSleepAndTheReportSaysWhenTheBatteryRanOut) {
  auto parsed = sim::Scenario::parse(R"({
    "name": "empty",
    "machine": {"backgroundDaemons": 20, "seed": 4, "battery": {"percent": 5}},
    "processes": [{"id": "build", "path": "/usr/local/bin/builder", "cpu": 14, "gpu": 4}],
    "events": [{"at": "40m", "type": "plug", "watts": 96}]})",
                                     "empty");
  ASSERT_TRUE(parsed) << parsed.error;
  TempFolder folder;
  MonitoredMac mac(*parsed.scenario, folder.file("history.sqlite"));
  const double held = mac.mac().truth().batteryJoules;
  std::vector<double> ticks;
  mac.afterTick = [&] { ticks.push_back(*mac.monitor().lastTickAt - mac.mac().startDate()); };
  mac.runFor(30 * 60);

  const std::vector<sim::Hibernation> spans = mac.mac().hibernations();
  ASSERT_EQ(spans.size(), 1u);
  const double ranOut = spans[0].start - mac.mac().startDate();
  ASSERT_FALSE(ticks.empty());
  EXPECT_LE(ticks.back(), ranOut);
  EXPECT_GT(ticks.back(), ranOut - Tracker::interval - Monitor::kTickTolerance);
  // The session drew what the battery held, not a joule more.
  ASSERT_TRUE(mac.monitor().session);
  EXPECT_LE(mac.monitor().session->batteryJoules, held * 1.005);
  EXPECT_LT(relativeError(mac.monitor().session->batteryJoules, mac.truth().systemJoules()), 0.005);

  mac.runFor(20 * 60);  // plugged at 40 minutes, on again soon after
  ASSERT_FALSE(mac.mac().hibernating());
  const double woke = *mac.mac().hibernations()[0].end - mac.mac().startDate();
  EXPECT_GT(ticks.back(), woke);
  ASSERT_TRUE(mac.monitor().battery);
  EXPECT_TRUE(mac.monitor().battery->onAC);

  SessionReport report = SessionReport::from(mac.monitor(), "empty", 50 * 60);
  mac.truth().fill(report);
  ASSERT_EQ(report.batteryRanOut.size(), 1u);
  EXPECT_NEAR(report.batteryRanOut[0].afterSeconds, ranOut, 1e-6);
  ASSERT_TRUE(report.batteryRanOut[0].hibernatedSeconds);
  EXPECT_NEAR(*report.batteryRanOut[0].hibernatedSeconds, woke - ranOut, 1e-6);
  const std::string table = report.table();
  EXPECT_NE(table.find("The battery ran out after " + TimeLeft::format(ranOut / 60) +
                       ": the Mac hibernated for " + TimeLeft::format((woke - ranOut) / 60)),
            std::string::npos)
      << table;
}

// Sums of the history file, read with a connection of its own.
struct HistorySums {
  double drainedJoules = 0;
  std::map<std::string, double> appJoules;
};

HistorySums readHistory(const std::string& path) {
  HistorySums sums;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << path;
    sqlite3_close(db);
    return sums;
  }
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "SELECT SUM(-watts*dt) FROM battery WHERE on_ac=0 AND watts<0", -1, &stmt,
                     nullptr);
  if (sqlite3_step(stmt) == SQLITE_ROW) sums.drainedJoules = sqlite3_column_double(stmt, 0);
  sqlite3_finalize(stmt);
  sqlite3_prepare_v2(db, "SELECT app, SUM(joules) FROM app_energy GROUP BY app", -1, &stmt,
                     nullptr);
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    sums.appJoules[reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))] =
        sqlite3_column_double(stmt, 1);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return sums;
}

// The program quits after 20 minutes on battery and starts again a minute
// later: the new tracker finds the session in the history and carries on
// with it, and the history adds up to what really happened over both runs.
TEST(RestartTest, SessionSurvivesARestartAndTheHistoryAddsUp) {
  TempFolder folder;
  const std::string path = folder.file("history.sqlite");
  MonitoredMac mac(embedded("default"), path);
  mac.runFor(20 * 60);
  const Session before = *mac.monitor().session;
  double trueSystem = mac.truth().systemJoules();
  std::map<std::string, double> trueApps;
  for (const auto& [row, truth] : mac.truth().rows()) trueApps[row] += truth.joules();
  mac.stop();

  mac.runFor(60);
  mac.start();
  ASSERT_TRUE(mac.monitor().session);
  const Session& restored = *mac.monitor().session;
  EXPECT_DOUBLE_EQ(restored.start.secondsSince1970, before.start.secondsSince1970);
  // The history keeps one percent per minute, taken at its end: the restored
  // start is off by at most the first minute's drain.
  EXPECT_LE(before.startPercent - restored.startPercent, 0.6);
  EXPECT_GE(before.startPercent - restored.startPercent, 0.0);
  EXPECT_LT(relativeError(restored.batteryJoules, before.batteryJoules), 0.005)
      << restored.batteryJoules << " J restored, " << before.batteryJoules << " J before";
  for (const auto& [app, joules] : before.appJoules) {
    if (joules < 100) continue;
    ASSERT_TRUE(restored.appJoules.contains(app)) << app;
    EXPECT_NEAR(restored.appJoules.at(app), joules, 1e-6 * joules) << app;
  }

  mac.runFor(20 * 60);
  // The session goes on from where it was.
  EXPECT_EQ(mac.monitor().session->start, before.start);
  EXPECT_GT(mac.monitor().session->batteryJoules, 1.8 * before.batteryJoules);
  trueSystem += mac.truth().systemJoules();
  for (const auto& [row, truth] : mac.truth().rows()) trueApps[row] += truth.joules();
  mac.stop();

  const HistorySums history = readHistory(path);
  record("drainedRelativeError", relativeError(history.drainedJoules, trueSystem));
  EXPECT_LT(relativeError(history.drainedJoules, trueSystem), 0.005)
      << history.drainedJoules << " J in the history, " << trueSystem << " J true";
  double storedTotal = 0, trueTotal = 0;
  for (const auto& [app, joules] : history.appJoules) storedTotal += joules;
  for (const auto& [row, joules] : trueApps) {
    trueTotal += joules;
    if (joules <= kJoulesPerWh) continue;
    auto stored = history.appJoules.find(row);
    ASSERT_NE(stored, history.appJoules.end()) << row;
    EXPECT_LT(relativeError(stored->second, joules), 0.005) << row;
  }
  EXPECT_LT(relativeError(storedTotal, trueTotal), 0.005);
}

TEST(ReportCommandTest, JsonReportCarriesTheMeasuredAndTrueFigures) {
  TempFolder folder;
  auto host = test::StubEnvironment::withDataFolder(folder.file("data"));
  ReportOptions options;
  options.simulate = true;
  options.json = true;
  options.seconds = 10 * 60;
  CommandResult result = runReport(options, host);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  sys::Value report = sys::Value::parse(result.out, nullptr, false);
  ASSERT_TRUE(report.is_object()) << result.out.substr(0, 200);

  EXPECT_EQ(report.value("simulatedSeconds", 0.0), 600.0);
  for (const char* key : {"batteryJoules", "minutesLeft", "trueSystemJoules", "trueMinutesLeft",
                          "minutesLeftError"}) {
    EXPECT_TRUE(report.contains(key) && report[key].is_number()) << key;
  }
  EXPECT_NEAR(report.value("minutesLeftError", 1.0),
              report.value("minutesLeft", 0.0) / report.value("trueMinutesLeft", 1.0) - 1, 1e-9);
  EXPECT_LT(
      relativeError(report.value("batteryJoules", 0.0), report.value("trueSystemJoules", 1.0)),
      0.005);

  ASSERT_TRUE(report["apps"].is_array());
  ASSERT_FALSE(report["apps"].empty());
  bool someGraphics = false;
  for (const auto& app : report["apps"]) {
    EXPECT_TRUE(app["name"].is_string());
    for (const char* key : {"joules", "trueJoules", "graphicsJoules", "trueGraphicsJoules"}) {
      EXPECT_TRUE(app.contains(key) && app[key].is_number()) << app["name"] << " " << key;
    }
    someGraphics = someGraphics || app.value("trueGraphicsJoules", 0.0) > 0;
  }
  EXPECT_TRUE(someGraphics);

  ASSERT_TRUE(report["rows"].is_array());
  ASSERT_FALSE(report["rows"].empty());
  for (const auto& row : report["rows"]) {
    EXPECT_TRUE(row["name"].is_string());
    EXPECT_TRUE(row["watts"].is_number());
    EXPECT_TRUE(row["fraction"].is_number());
  }
  // The scratch history went where the surroundings said.
  EXPECT_TRUE(std::filesystem::exists(folder.file("data")));
}

TEST(ReportCommandTest, UnreadableScenarioFilesAreNamedWithTheProblem) {
  TempFolder folder;
  auto host = test::StubEnvironment::withDataFolder(folder.file("data"));
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(folder.file(name)) << text;
    return folder.file(name);
  };
  struct Case {
    std::string path;
    std::string problem;
  };
  const Case cases[] = {
      {folder.file("missing.json"), "cannot read"},
      {write("broken.json", "{\"name\": \"x\",\n \"duration\": }"), "invalid JSON"},
      {write("wrong-type.json", R"({"machine": {"chip": "M3"}})"), "machine.chip"},
      {write("list.json", "[1, 2]"), "object"},
      {folder.file(""), "folder"},
  };
  for (const auto& c : cases) {
    ReportOptions options;
    options.simulate = true;
    options.scenario = c.path;
    options.seconds = 60;
    CommandResult result = runReport(options, host);
    EXPECT_EQ(result.exitCode, 2) << c.path;
    EXPECT_EQ(result.out, "") << c.path;
    EXPECT_NE(result.err.find(c.path), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(c.problem), std::string::npos) << result.err;
  }
}

// Every process of a machine, at its first sight, gets from the identity
// rules the row the machine expects for it; the processes whose counters the
// kernel keeps to itself never reach the rules. Returns how many were named.
std::size_t expectScannerNamesEveryProcess(const sim::Scenario& scenario) {
  // The instants at which something new runs: the start, and just after
  // each process that starts later.
  std::set<double> instants = {0};
  for (const auto& p : scenario.processes) {
    if (p.start && *p.start > 0) instants.insert(*p.start + 0.5);
  }
  sim::Simulation simulation(scenario);
  sim::SimulatedMac& mac = simulation.mac();
  std::set<std::pair<sys::Pid, std::uint64_t>> seen;
  for (double at : instants) {
    simulation.runFor(at - simulation.elapsed());
    const sim::TruthSnapshot truth = mac.truth();
    std::map<std::pair<sys::Pid, std::uint64_t>, const sim::ProcessTruth*> expected;
    for (const auto& p : truth.processes) expected[{p.pid, p.startTicks}] = &p;
    for (const ProcessSample& sample : ProcessScanner::scan(mac.processes())) {
      if (!seen.insert({sample.key.pid, sample.key.start}).second) continue;
      auto truthOf = expected.find({sample.key.pid, sample.key.start});
      if (truthOf == expected.end()) {
        ADD_FAILURE() << "pid " << sample.key.pid << " is not in the truth";
        continue;
      }
      AppIdentity id = ProcessScanner::identity(mac.processes(), mac.environment(), sample.key.pid);
      EXPECT_EQ(id.name, truthOf->second->row) << truthOf->second->path << " at " << at << " s";
    }
  }
  // Every process whose counter the kernel gives the monitor was scanned and
  // named; the others never reached the identity rules.
  std::set<std::pair<sys::Pid, std::uint64_t>> billable;
  for (const auto& p : mac.truth().processes) {
    if (p.billable) billable.insert({p.pid, p.startTicks});
  }
  EXPECT_EQ(seen, billable);
  return seen.size();
}

TEST(IdentityTest, ScannerNamesEveryProcessAsTheMachineExpects) {
  const sim::Scenario scenario = embedded("default");
  EXPECT_GT(expectScannerNamesEveryProcess(scenario), scenario.processes.size());
}

// A coding agent's shell behind another user's login: the inspector cannot
// follow the parents past the login, so the shell is named by its own folder.
TEST(IdentityTest, AgentShellsBehindAnotherUsersProcessAreNamedByTheirOwnFolder) {
  auto parsed = sim::Scenario::parse(R"({
    "machine": {"backgroundDaemons": 0, "user": "me"},
    "processes": [
      {"id": "claude", "path": "/Users/me/.local/bin/claude", "tty": true,
       "cwd": "/Users/me/code/api", "cpu": 0.2},
      {"id": "login", "parent": "claude", "root": true, "tty": true, "path": "/usr/bin/login"},
      {"id": "shell", "parent": "login", "tty": true, "path": "/bin/zsh", "cpu": 0.1,
       "cwd": "/Users/me/code/web", "env": {"CLAUDECODE": "1"}}
    ]})",
                                     "agent");
  ASSERT_TRUE(parsed) << parsed.error;
  EXPECT_GE(expectScannerNamesEveryProcess(*parsed.scenario), 2u);
  sim::Simulation simulation(*parsed.scenario);
  std::set<std::string> rows;
  for (const auto& p : simulation.mac().truth().processes) rows.insert(p.row);
  EXPECT_TRUE(rows.contains("Claude Code (Web)"));
  EXPECT_FALSE(rows.contains("login"));  // another user's: no row
}

}  // namespace
}  // namespace ebbwise

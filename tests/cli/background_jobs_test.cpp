// The command's jobs on a real Linux machine: the background monitor (run in
// a child process on a recorded laptop's folders and stopped by a signal),
// its user service, and the report told at once from the kept history.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/command_options.h"
#include "cli/history_report.h"
#include "cli/monitor_command.h"
#include "cli/report_command.h"
#include "cli/service_command.h"
#include "history/store.h"
#include "linux/fixture_tree.h"
#include "linux/systemd_user_unit.h"
#include "support/stub_environment.h"

namespace ebbwise {
namespace {

namespace fs = std::filesystem;
using test::FixtureTree;

// Surroundings of a Linux host: the disk's files and the variables a test sets.
test::StubEnvironment linuxHost() {
  test::StubEnvironment e;
  e.filesOnDisk = true;
  e.home = "/nonexistent/home";
  e.version = {6, 1, 0};
  return e;
}

// The service manager's tool as the test wants it to answer.
class RecordingTools final : public sys::ToolRunner {
 public:
  std::vector<std::string> runs;
  std::optional<int> status = 0;

  std::optional<sys::ToolRun> run(std::string_view path,
                                  std::span<const std::string> arguments) override {
    std::string line(path);
    for (const auto& a : arguments) line += " " + a;
    runs.push_back(line);
    return sys::ToolRun{"", status};
  }
};

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

class ServiceInstallTest : public ::testing::Test {
 protected:
  ServiceInstallTest() { environment.variables["XDG_CONFIG_HOME"] = config.root(); }
  CommandResult install(std::optional<std::string> systemctl = "/usr/bin/systemctl",
                        std::string executable = "/opt/ebbwise/bin/ebbwise") {
    return installService(environment, executable, tools, systemctl);
  }
  std::string unitPath() const { return config.path("systemd/user/ebbwise.service"); }

  FixtureTree config;
  test::StubEnvironment environment = linuxHost();
  RecordingTools tools;
};

TEST_F(ServiceInstallTest, WritesOneUnitOnceAndStartsIt) {
  CommandResult first = install();
  EXPECT_EQ(first.exitCode, 0) << first.err;
  EXPECT_NE(first.out.find("Installed"), std::string::npos);
  const std::string unit = fileText(unitPath());
  EXPECT_NE(unit.find("\nExecStart=\"/opt/ebbwise/bin/ebbwise\" --monitor\n"), std::string::npos);
  EXPECT_NE(unit.find("\nWantedBy=default.target\n"), std::string::npos);
  EXPECT_EQ(tools.runs,
            (std::vector<std::string>{"/usr/bin/systemctl --user daemon-reload",
                                      "/usr/bin/systemctl --user enable --now ebbwise.service"}));

  // Again: nothing to write, nothing to reload, no second unit and no leftovers.
  const auto written = fs::last_write_time(unitPath());
  tools.runs.clear();
  CommandResult second = install();
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_NE(second.out.find("already installed"), std::string::npos);
  EXPECT_EQ(fs::last_write_time(unitPath()), written);
  EXPECT_EQ(tools.runs,
            std::vector<std::string>{"/usr/bin/systemctl --user enable --now ebbwise.service"});
  EXPECT_EQ(namesIn(config.path("systemd/user")), std::vector<std::string>{"ebbwise.service"});

  // The program moved: the one unit now starts it from its new place.
  EXPECT_EQ(install("/usr/bin/systemctl", "/usr/local/bin/my ebbwise%1").exitCode, 0);
  EXPECT_NE(fileText(unitPath()).find("ExecStart=\"/usr/local/bin/my ebbwise%%1\" --monitor\n"),
            std::string::npos);
  EXPECT_EQ(namesIn(config.path("systemd/user")), std::vector<std::string>{"ebbwise.service"});
}

TEST_F(ServiceInstallTest, SaysHowToStartItOrWhyItDidNot) {
  CommandResult manual = install(std::nullopt);
  EXPECT_EQ(manual.exitCode, 0);
  EXPECT_NE(manual.out.find("systemctl --user enable --now ebbwise.service"), std::string::npos);
  EXPECT_TRUE(tools.runs.empty());

  // No user service manager: the unit stays, the failure is told.
  tools.status = 1;
  CommandResult refused = install();
  EXPECT_EQ(refused.exitCode, CommandOptions::kFailure);
  EXPECT_NE(refused.err.find("installed but could not be started"), std::string::npos);
  EXPECT_NE(refused.err.find("exited with status 1"), std::string::npos);
  EXPECT_TRUE(fs::exists(unitPath()));
}

TEST_F(ServiceInstallTest, AUnitThatCannotBeWrittenFailsTheCommand) {
  config.write("systemd", "a file where the folder should be");
  CommandResult blocked = install();
  EXPECT_EQ(blocked.exitCode, CommandOptions::kFailure);
  EXPECT_NE(blocked.err.find("cannot install the service at"), std::string::npos);
  EXPECT_TRUE(tools.runs.empty());

  EXPECT_EQ(install("/usr/bin/systemctl", "relative/ebbwise").exitCode, CommandOptions::kFailure);
  EXPECT_FALSE(linux_host::SystemdUserUnit::execStart("/bin/a\nb", "--monitor"));

  // Without XDG_CONFIG_HOME the unit goes under the home folder's .config.
  environment.variables.clear();
  environment.home = config.root() + "/home";
  EXPECT_EQ(install(std::nullopt).exitCode, 0);
  EXPECT_TRUE(fs::exists(config.path("home/.config/systemd/user/ebbwise.service")));
}

// Minutes of history as the monitor stores them.
HistoryRecord minute(double ts, double percent, bool onAC,
                     std::unordered_map<std::string, double> apps = {}) {
  double joules = 0;
  for (const auto& [name, j] : apps) joules += j;
  return HistoryRecord{ts, 60, percent, onAC ? 5.0 : -joules / 60, onAC, std::move(apps)};
}

TEST(HistoryReport, TellsTheStoredStretchAtOnce) {
  FixtureTree data;
  constexpr double kNow = 1'800'000'000;
  Store store(data.path("joulemark/history.sqlite"));
  store.write(minute(kNow - 2 * 86'400, 90, false, {{"Old", 999}}));  // before the window
  for (int i = 0; i < 30; ++i) {
    store.write(
        minute(kNow - 3600 + i * 60, 80 - i * 0.5, false, {{"Firefox", 240}, {"Terminal", 60}}));
  }
  store.write(minute(kNow - 600, 65, true));
  EXPECT_FALSE(HistoryReport::from(store, kNow, 300)) << "no minute in the last five minutes";
  const auto report = HistoryReport::from(store, kNow, 86'400);
  ASSERT_TRUE(report);
  EXPECT_NEAR(report->secondsOnBattery, 1800, 1e-6);
  EXPECT_NEAR(report->joules, 9000, 1e-6);
  ASSERT_EQ(report->apps.size(), 2u);
  EXPECT_EQ(report->apps[0].name, "Firefox");
  EXPECT_NEAR(report->apps[0].share, 0.8, 1e-9);
  EXPECT_DOUBLE_EQ(report->startPercent, 80);
  EXPECT_DOUBLE_EQ(report->endPercent, 65);
  EXPECT_NEAR(report->lastMinuteAgo, 600, 1e-6);
  const std::string table = report->table();
  EXPECT_NE(table.find("the last 1d"), std::string::npos) << table;
  EXPECT_NE(table.find("Firefox"), std::string::npos);
  EXPECT_EQ(table.find("Old"), std::string::npos);
  EXPECT_EQ(report->json()["apps"][1]["name"], "Terminal");
}

TEST(HistoryReport, TheReportCommandUsesTheHistoryWithoutWaiting) {
  FixtureTree data;
  test::StubEnvironment environment = linuxHost();
  environment.variables["EBBWISE_DATA_DIR"] = data.root();
  const double now = static_cast<double>(::time(nullptr));
  {
    Store store(data.path("joulemark/history.sqlite"));
    store.write(minute(now - 120, 50, false, {{"Make", 600}}));
  }
  ReportOptions options;
  options.seconds = 86'400;  // a day would be a long wait
  options.json = true;
  const CommandResult result = runReport(options, environment);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  const auto json = sys::Value::parse(result.out);
  EXPECT_EQ(json["source"], "history");
  EXPECT_EQ(json["apps"][0]["name"], "Make");
}

// The monitor in a child process on a recorded laptop, ended by a signal.
class MonitorProcessTest : public ::testing::Test {
 protected:
  CommandResult runHere(const std::string& sysFixture, std::function<void(Monitor&)> tick = {}) {
    environment.variables["EBBWISE_DATA_DIR"] = data.root();
    FixtureTree sysTree(sysFixture);
    return runMonitor(
        environment,
        {.sys = sysTree.root(),
         .proc = proc.root(),
         .settings = data.root(),
         .config = data.root(),
         .executable = "/usr/bin/ebbwise",
         .systemBus = "unix:path=/nonexistent/ebbwise-test-bus",
         .sound = {.pwDump = "/nonexistent", .pactl = "/nonexistent"}},
        [](const std::string&) {}, std::move(tick));
  }
  std::string historyPath() const { return data.path("joulemark/history.sqlite"); }

  FixtureTree data;
  FixtureTree proc{"proc/laptop"};
  test::StubEnvironment environment = linuxHost();
};

TEST_F(MonitorProcessTest, KeepsTheHistoryUntilToldToStop) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    bool told = false;
    const CommandResult result = runHere("sys/energy-laptop", [&](Monitor&) {
      // The first tick watched follows the one at start: a minute in
      // progress worth keeping.
      if (!std::exchange(told, true)) [[maybe_unused]]
        auto n = ::write(ready[1], "r", 1);
    });
    ::_exit(result.exitCode);
  }
  ::close(ready[1]);
  pollfd waiting{ready[0], POLLIN, 0};
  const bool ticked = ::poll(&waiting, 1, 30'000) == 1;
  ::close(ready[0]);
  ::kill(child, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(ticked) << "the monitor never ticked";
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);

  Store store(historyPath());
  const auto last = store.lastRecord();
  ASSERT_TRUE(last) << "the minute in progress was not written";
  EXPECT_FALSE(last->onAC);
  EXPECT_FALSE(store.batteryPoints(0).empty());
}

TEST_F(MonitorProcessTest, AMachineWithoutABatteryIsTurnedAwayAtOnce) {
  const CommandResult result = runHere("sys/desktop");
  EXPECT_EQ(result.exitCode, CommandOptions::kFailure);
  EXPECT_NE(result.err.find("publishes no battery"), std::string::npos);
  EXPECT_FALSE(fs::exists(historyPath())) << "no empty history for a machine turned away";
}

}  // namespace
}  // namespace ebbwise

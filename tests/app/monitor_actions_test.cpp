// What the monitor does on the user's behalf, on the simulated MacBook:
// stopping a row's processes (and only those the row was built from),
// switching Low Power Mode through the password prompt, and heavy-app
// notifications.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/monitor.h"
#include "sim/sim_notifications.h"
#include "sim/sim_privileged_scripts.h"
#include "sim/simulation.h"
#include "support/scenario_text.h"

namespace ebbwise {
namespace {

// Whether the process that started at `start` still runs under `pid`.
bool running(sim::Simulation& simulation, sys::Pid pid, std::uint64_t start) {
  for (const auto& p : simulation.mac().truth().processes) {
    if (p.pid == pid && p.startTicks == start) return p.running;
  }
  return false;
}

// The machine's own record of the process started from `path`.
sim::ProcessTruth process(sim::Simulation& simulation, std::string_view path) {
  const auto truth = simulation.mac().truth().processes;
  return *std::find_if(truth.begin(), truth.end(), [&](const auto& p) { return p.path == path; });
}

// Stopping ------------------------------------------------------------------

// The row lists pid 700 for the render; it exits and the kernel hands the
// same pid to an editor before the user clicks Stop.
TEST(MonitorStopTest, APidReusedAfterTheListingIsNeverSignalled) {
  sim::Simulation simulation(scenario(R"({
    "machine": {"backgroundDaemons": 0},
    "processes": [
      {"id": "render", "pid": 700, "path": "/Applications/Render.app/Contents/MacOS/Render",
       "cpu": 3, "end": "97s"},
      {"id": "editor", "pid": 700, "path": "/Applications/Editor.app/Contents/MacOS/Editor",
       "cpu": 1, "start": "98s"}
    ]})"));
  Monitor monitor(simulation.platform(), nullptr);
  simulation.runFor(98.5);  // the last tick (95 s) saw the render
  const ProcessStopper::Targets targets = monitor.stoppable("Render");
  ASSERT_EQ(targets.size(), 1u);
  EXPECT_EQ(targets[0].first.pid, 700);

  const ProcessStopper::Outcome outcome = monitor.stop("Render", true);
  EXPECT_EQ(outcome.signalled, 0u);
  EXPECT_EQ(outcome.refused, 1u);
  EXPECT_TRUE(monitor.stopper.stopping.empty());
  ASSERT_TRUE(monitor.stopError);
  EXPECT_NE(monitor.stopError->find("Render"), std::string::npos);
  const auto editor = simulation.platform().processes.rusage(700);
  ASSERT_TRUE(editor) << "the editor still runs";
  EXPECT_NE(editor->procStartAbstime, targets[0].first.start);
}

TEST(MonitorStopTest, StoppingSignalsTheRowAndTheMarkGoesWhenTheProcessExits) {
  sim::Simulation simulation(scenario(R"({
    "machine": {"backgroundDaemons": 0},
    "processes": [
      {"id": "render", "path": "/Applications/Render.app/Contents/MacOS/Render", "cpu": 3},
      {"id": "helper", "path": "/Applications/Render.app/Contents/MacOS/RenderHelper",
       "parent": "render", "responsible": "render", "cpu": 1}
    ]})"));
  Monitor monitor(simulation.platform(), nullptr);
  simulation.runFor(30);
  const ProcessStopper::Targets targets = monitor.stoppable("Render");
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(monitor.stop("Render", false).signalled, 2u);
  EXPECT_FALSE(monitor.stopError);
  EXPECT_EQ(monitor.stopper.stopping.size(), 2u);
  for (const auto& [key, watts] : targets) EXPECT_FALSE(running(simulation, key.pid, key.start));
  simulation.runFor(5);
  EXPECT_TRUE(monitor.stopper.stopping.empty()) << "gone on the first tick after exiting";
}

// Never launchd, this program, another user's process (even where the
// monitor may read it) or a coding-agent session.
TEST(MonitorStopTest, ProcessesThatAreNotTheUsersToStopAreLeftAlone) {
  sim::Simulation simulation(scenario(R"({
    "machine": {"backgroundDaemons": 0, "platform": {"privileged": true}},
    "processes": [
      {"id": "backupd", "path": "/usr/libexec/backupd", "root": true, "cpu": 2},
      {"id": "agent", "path": "/Users/alex/.local/bin/claude", "args": ["claude"],
       "cwd": "/Users/alex/shop", "tty": true, "cpu": 2},
      {"id": "tests", "path": "/usr/local/bin/node", "args": ["node", "jest"],
       "parent": "agent", "env": {"CLAUDECODE": "1"}, "cwd": "/Users/alex/shop", "cpu": 2}
    ]})"));
  sys::Platform platform = simulation.platform();
  Monitor monitor(platform, nullptr);
  simulation.runFor(30);

  auto keyOf = [&](sys::Pid pid) {
    auto usage = platform.processes.rusage(pid);
    return ProcessKey{pid, usage ? usage->procStartAbstime : 0};
  };
  EXPECT_FALSE(ProcessStopper::maySignal(platform.processes, keyOf(1))) << "launchd";
  EXPECT_FALSE(ProcessStopper::maySignal(platform.processes, keyOf(platform.processes.ownPid())));

  const auto backupd = process(simulation, "/usr/libexec/backupd");
  const auto agent = process(simulation, "/Users/alex/.local/bin/claude");
  const auto tests = process(simulation, "/usr/local/bin/node");

  const std::optional<std::string> rootRow = monitor.tracker().rowName(backupd.pid);
  ASSERT_TRUE(rootRow);
  EXPECT_EQ(monitor.stop(*rootRow, true).signalled, 0u);
  EXPECT_TRUE(running(simulation, backupd.pid, backupd.startTicks));
  EXPECT_TRUE(monitor.stopError);

  for (const auto& p : {agent, tests}) {
    const std::optional<std::string> row = monitor.tracker().rowName(p.pid);
    ASSERT_TRUE(row) << p.path;
    for (const auto& [key, watts] : monitor.stoppable(*row)) EXPECT_NE(key.pid, agent.pid);
    monitor.stop(*row, false);
  }
  EXPECT_TRUE(running(simulation, agent.pid, agent.startTicks)) << "the session itself";
  EXPECT_FALSE(running(simulation, tests.pid, tests.startTicks)) << "what it started";
  EXPECT_FALSE(monitor.stopper.stopping.contains(agent.pid));
}

// The open panel keeps details only of processes still running.
TEST(MonitorStopTest, DetailsAreKeptWhileTheProcessRunsAndThePanelIsOpen) {
  sim::Simulation simulation(scenario(R"({
    "machine": {"backgroundDaemons": 0},
    "processes": [
      {"id": "server", "path": "/usr/local/bin/node", "args": ["node", "server.js"],
       "cwd": "/Users/alex/shop", "tty": true, "cpu": 1, "end": "40s",
       "env": {"TERM_PROGRAM": "Apple_Terminal"}}]})"));
  Monitor monitor(simulation.platform(), nullptr);
  monitor.setPanelOpen(true);
  simulation.runFor(20);
  const sys::Pid pid = process(simulation, "/usr/local/bin/node").pid;
  const std::optional<ProcessDetails> details = monitor.details(pid);
  ASSERT_TRUE(details);
  EXPECT_EQ(details->launcher, "Terminal");
  EXPECT_TRUE(monitor.processFacts.cache.contains(pid));
  EXPECT_FALSE(monitor.details(-5)) << "nothing to inspect";
  EXPECT_FALSE(monitor.processFacts.cache.contains(-5)) << "and nothing cached";
  simulation.runFor(60);
  EXPECT_FALSE(monitor.processFacts.cache.contains(pid)) << "gone with its process";
}

// Low Power Mode ------------------------------------------------------------

std::string withPassword(std::string_view answers) {
  return std::string(R"({"machine": {"backgroundDaemons": 0, "services": {"password": )") +
         std::string(answers) + "}}}";
}

TEST(MonitorLowPowerTest, ThePasswordPromptDecidesAndTheShownStateFollowsTheSystem) {
  struct Case {
    const char* answer;
    bool on;
    std::optional<std::string> error;
  };
  for (const Case& c :
       {Case{R"("grant")", true, std::nullopt}, Case{R"("cancel")", false, std::nullopt},
        Case{R"("fail")", false,
             std::string("The administrator user name or password was incorrect.")}}) {
    SCOPED_TRACE(c.answer);
    sim::Simulation simulation(scenario(withPassword(c.answer)));
    Monitor monitor(simulation.platform(), nullptr);
    monitor.setLowPower(true);
    EXPECT_EQ(monitor.lowPowerSwitch.pending, 1) << "returns at once";
    simulation.runFor(15);
    EXPECT_EQ(monitor.lowPowerSwitch.pending, 0);
    EXPECT_EQ(monitor.lowPowerOn, c.on);
    EXPECT_EQ(monitor.lowPowerError, c.error);
    EXPECT_EQ(monitor.lowPowerEvents.size(), c.on ? 1u : 0u);
  }
}

TEST(MonitorLowPowerTest, APromptNobodyAnswersNeverHoldsTheTicks) {
  sim::Simulation simulation(scenario(withPassword(R"("hang")")));
  Monitor monitor(simulation.platform(), nullptr);
  int ticks = 0;
  monitor.setTickObserver([&] { ++ticks; });
  monitor.setLowPower(true);
  simulation.runFor(50);
  EXPECT_GE(ticks, 10);
  EXPECT_EQ(monitor.lowPowerSwitch.pending, 1);
  simulation.runFor(sys::PrivilegedScriptRunner::kTimeoutSeconds);
  EXPECT_EQ(monitor.lowPowerSwitch.pending, 0);
  EXPECT_FALSE(monitor.lowPowerOn);
  EXPECT_EQ(monitor.lowPowerError, "AppleEvent timed out.");
  // A new request clears the old message at once.
  monitor.setLowPower(false);
  EXPECT_FALSE(monitor.lowPowerError);
}

// Heavy-app notifications ---------------------------------------------------

constexpr std::string_view kHeavyApp = R"({
  "machine": {"backgroundDaemons": 0, "battery": {"percent": 90},
              "services": {"notifications": "%s"}},
  "processes": [
    {"id": "render", "path": "/Applications/Render.app/Contents/MacOS/Render",
     "cpu": 6, "fluctuation": 0}
  ]})";

std::string heavyApp(std::string_view answer) {
  std::string json(kHeavyApp);
  json.replace(json.find("%s"), 2, answer);
  return json;
}

TEST(MonitorNotificationTest, OneNotificationPerRowReplacedByTheNextAfterTheCoolDown) {
  sim::Simulation simulation(scenario(heavyApp("allow")));
  sys::Platform platform = simulation.platform();
  auto& center = dynamic_cast<sim::SimUserNotificationCenter&>(platform.notifications);
  Monitor monitor(platform, nullptr);
  simulation.runFor(15 * 60);
  ASSERT_EQ(center.history().size(), 1u);
  const sys::NotificationRequest first = center.history()[0].request;
  EXPECT_EQ(first.identifier, "heavy-Render");
  EXPECT_EQ(first.content.title, "Render is draining your battery");
  // Raised as the 3-minute average crosses the 2 W line.
  ASSERT_EQ(monitor.raisedAlerts.size(), 1u);
  EXPECT_GE(monitor.raisedAlerts[0].alert.watts, 2.0);
  EXPECT_EQ(first.content.body,
            HeavyAppNotifier::request(monitor.raisedAlerts[0].alert, std::nullopt).content.body);
  EXPECT_TRUE(first.content.defaultSound);

  simulation.runFor(30 * 60);
  EXPECT_EQ(center.history().size(), 2u);
  std::vector<sys::DeliveredNotification> shown;
  center.deliveredNotifications([&](auto delivered) { shown = std::move(delivered); });
  simulation.runFor(1);
  EXPECT_EQ(shown.size(), 1u) << "the second replaced the first";
}

TEST(MonitorNotificationTest, ARefusingOrFailingServiceNeverHoldsTheTick) {
  for (const char* answer : {"deny", "fail"}) {
    SCOPED_TRACE(answer);
    sim::Simulation simulation(scenario(heavyApp(answer)));
    Monitor monitor(simulation.platform(), nullptr);
    int ticks = 0;
    monitor.setTickObserver([&] { ++ticks; });
    simulation.runFor(15 * 60);
    EXPECT_GE(ticks, 15 * 60 / 5 - 1);
    ASSERT_EQ(monitor.raisedAlerts.size(), 1u);
    EXPECT_EQ(monitor.notifier.posted, 1u);
    EXPECT_TRUE(monitor.notifier.lastError) << "the service's answer is kept";
  }
}

// Quitting and reopening the program does not bring the alert back before
// its 30 minutes are up.
TEST(MonitorNotificationTest, TheCoolDownOutlastsARestart) {
  sim::Simulation simulation(scenario(heavyApp("allow")));
  sys::Platform platform = simulation.platform();
  auto monitor = std::make_unique<Monitor>(platform, nullptr);
  simulation.runFor(10 * 60);
  ASSERT_EQ(monitor->raisedAlerts.size(), 1u);
  const sys::Date first = monitor->raisedAlerts[0].at;
  monitor.reset();
  simulation.runFor(60);
  monitor = std::make_unique<Monitor>(platform, nullptr);
  simulation.runFor(first + 1790 - simulation.loop().now());
  EXPECT_TRUE(monitor->raisedAlerts.empty());
  simulation.runFor(5 * 60);
  ASSERT_EQ(monitor->raisedAlerts.size(), 1u);
  EXPECT_GE(monitor->raisedAlerts[0].at - first, 1800);
}

}  // namespace
}  // namespace ebbwise

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "cli/simulated_app.h"
#include "face/panel_actions.h"
#include "face/panel_inputs.h"
#include "support/stub_environment.h"
#include "ui/panel_wording.h"
#include "ui/since_charge_bars.h"

namespace ebbwise {
namespace {

// A Mac on the charger for its first minute, then on battery until 10
// minutes in: a coding
// agent in a terminal runs a heavy test suite, Music and Safari play sound.
// The first password prompt fails, the next ones are granted.
constexpr const char* kScenario = R"({
  "name": "agent-at-work",
  "duration": "1h",
  "machine": {
    "user": "alex", "seed": 11, "start": "2024-11-12T08:30:00Z",
    "battery": { "percent": 70 },
    "charger": { "name": "96W USB-C Power Adapter", "watts": 96 },
    "services": { "password": ["fail", "grant"] }
  },
  "processes": [
    { "id": "iterm", "path": "/Applications/iTerm.app/Contents/MacOS/iTerm2", "cpu": 0.09 },
    { "id": "zsh", "parent": "iterm", "tty": true, "path": "/bin/zsh", "args": ["-zsh"],
      "cwd": "/Users/alex/code/api-server", "cpu": 0.002,
      "env": { "TERM_PROGRAM": "iTerm.app", "__CFBundleIdentifier": "com.googlecode.iterm2" } },
    { "id": "claude", "parent": "zsh", "tty": true, "path": "/Users/alex/.local/bin/claude",
      "args": ["claude"], "cwd": "/Users/alex/code/api-server", "cpu": 0.3,
      "env": { "TERM_PROGRAM": "iTerm.app", "__CFBundleIdentifier": "com.googlecode.iterm2" } },
    { "id": "jest", "parent": "claude", "path": "/opt/homebrew/Cellar/node/23.3.0/bin/node",
      "args": ["node", "/Users/alex/code/api-server/node_modules/.bin/jest"],
      "cwd": "/Users/alex/code/api-server", "cpu": 3.4,
      "env": { "CLAUDECODE": "1", "CLAUDE_CODE_ENTRYPOINT": "cli", "TERM_PROGRAM": "iTerm.app" } },
    { "id": "music", "path": "/System/Applications/Music.app/Contents/MacOS/Music",
      "cpu": 0.1, "audio": "play" },
    { "id": "safari", "path": "/Applications/Safari.app/Contents/MacOS/Safari",
      "cpu": 0.3, "audio": "play" }
  ],
  "events": [
    { "at": "1m", "type": "unplug" },
    { "at": "10m", "type": "plug", "name": "96W USB-C Power Adapter", "watts": 96 }
  ]
})";

struct AgentFixture : ::testing::Test {
  test::StubEnvironment host;
  std::string error;
  std::unique_ptr<SimulatedApp> app;
  ui::PanelUiState panelUi;

  void SetUp() override {
    std::string path = ::testing::TempDir() + "/agent-at-work.json";
    std::ofstream(path) << kScenario;
    app = SimulatedApp::launch(path, host, error);
    ASSERT_TRUE(app) << error;
    app->monitor().setPanelOpen(true);
  }
  Monitor& monitor() { return app->monitor(); }
  ui::PanelInput input() { return PanelInputs::panel(monitor(), app->simulation().loop().now()); }
  PanelActions::Outcome click(const std::string& action, const std::string& row = {}) {
    ui::PanelHotspot h;
    h.action = action;
    h.row = row;
    return PanelActions::perform(app->startup(), h, panelUi);
  }
  // The row of the coding-agent session, among the range's rows.
  std::optional<ui::PanelRow> sessionRow() {
    for (const ui::PanelRow& row : input().shares) {
      if (row.facts && row.facts->folder) return row;
    }
    return std::nullopt;
  }
};

TEST_F(AgentFixture, SinceChargeBarsAppearOnceUnpluggedAndGoOnTheCharger) {
  app->simulation().runFor(50);
  EXPECT_FALSE(input().bars.sinceCharge) << "on the charger there is nothing since the charge";

  app->simulation().runFor(4 * 60);
  ui::PanelInput in = input();
  ASSERT_TRUE(in.bars.sinceCharge);
  EXPECT_GT(in.bars.sinceCharge->total(), 0);
  std::vector<SinceCharge::Bar> bars = ui::SinceChargeBars::bars(in.bars);
  ASSERT_FALSE(bars.empty());
  EXPECT_GT(ui::SinceChargeBars::height(in.bars), 0) << "the larger panel draws them";
  // The agent's test run is among the heaviest things on battery; its
  // series is the one of all the agent's sessions.
  EXPECT_TRUE(std::any_of(bars.begin(), bars.end(),
                          [](const SinceCharge::Bar& bar) { return bar.name == "Claude"; }));

  app->simulation().runFor(6 * 60);
  EXPECT_FALSE(input().bars.sinceCharge) << "plugged in again";
  EXPECT_EQ(ui::SinceChargeBars::height(input().bars), 0);
}

TEST_F(AgentFixture, RowsWithProcessesCarryTheirFactsAndOthersNone) {
  app->simulation().runFor(4 * 60);
  ui::PanelInput in = input();

  std::optional<ui::PanelRow> session = sessionRow();
  ASSERT_TRUE(session);
  const ui::RowFacts& facts = *session->facts;
  EXPECT_NE(facts.folder->find("api-server"), std::string::npos) << *facts.folder;
  // The test run is the one task a stop would end; the agent itself is never stopped.
  EXPECT_EQ(facts.childTasks, 1);
  EXPECT_EQ(facts.processes, 1);
  EXPECT_FALSE(facts.forceStop);
  EXPECT_TRUE(facts.canStop);
  ASSERT_TRUE(facts.runningMinutes);
  EXPECT_GE(*facts.runningMinutes, 0);
  EXPECT_EQ(ui::PanelWording::stopTitle(facts), "Stop its 1 tasks");

  // Heavy enough to be worth a look in the notch panel, facts and all.
  auto now = std::find_if(in.nowRows.begin(), in.nowRows.end(),
                          [&](const ui::PanelRow& r) { return r.name == session->name; });
  ASSERT_NE(now, in.nowRows.end());
  EXPECT_EQ(now->facts, session->facts);

  // Rows without a process of their own, and light apps, offer no stop.
  for (const ui::PanelRow& row : in.shares) {
    if (row.name == "Screen" || row.name == "Music") {
      EXPECT_FALSE(row.facts) << row.name;
    }
  }
}

TEST_F(AgentFixture, StopSignalsTheTasksButNeverTheSessionAndSaysWhenNothingIsLeft) {
  app->simulation().runFor(4 * 60);
  std::optional<ui::PanelRow> session = sessionRow();
  ASSERT_TRUE(session);
  ProcessStopper::Targets targets = monitor().stoppable(session->name);
  ASSERT_EQ(targets.size(), 1u);

  EXPECT_EQ(click("stop", session->name), PanelActions::Outcome::done);
  EXPECT_TRUE(monitor().stopper.stopping.contains(targets.front().first.pid));
  EXPECT_FALSE(input().stopError);

  // The tests end; the agent runs on alone.
  app->simulation().runFor(30);
  std::optional<ui::PanelRow> after = sessionRow();
  ASSERT_TRUE(after);
  EXPECT_EQ(after->facts->childTasks, 0);
  EXPECT_FALSE(after->facts->canStop) << "nothing left that a stop would end";
  EXPECT_EQ(ui::PanelWording::factsLine(*after->facts).find("processes"), std::string::npos);

  click("stop", session->name);
  ui::PanelInput in = input();
  ASSERT_TRUE(in.stopError) << "a stop that reached nothing says so";
  EXPECT_EQ(in.stopError, monitor().stopError);
  EXPECT_TRUE(monitor().stopper.stopping.empty());

  EXPECT_EQ(click("stop"), PanelActions::Outcome::ignored) << "a stop button names its row";
}

TEST_F(AgentFixture, LowPowerPillSwitchesThroughTheMonitorAndShowsAFailure) {
  app->simulation().runFor(2 * 60);
  ASSERT_FALSE(monitor().lowPowerOn);

  EXPECT_EQ(click("lowPower"), PanelActions::Outcome::done);
  app->simulation().runFor(30);
  EXPECT_EQ(app->simulation().mac().passwordPrompts(), 1);
  ui::PanelInput in = input();
  EXPECT_FALSE(in.notch.lowPowerOn);
  ASSERT_TRUE(in.lowPowerError) << "the failed prompt is told";
  EXPECT_FALSE(in.lowPowerError->empty());

  click("lowPower");
  app->simulation().runFor(30);
  in = input();
  EXPECT_TRUE(in.notch.lowPowerOn);
  EXPECT_FALSE(in.lowPowerError) << "a new attempt clears the old failure";
}

TEST_F(AgentFixture, SpeakersAreKeptOnByEveryPlayingRowBrowsersAsATab) {
  app->simulation().runFor(2 * 60);
  EXPECT_EQ(input().speakersKeptOnBy, "Music, a Safari tab");
}

TEST(PanelWindowTitleTest, ShowsTheMenuBarTextWhenThereIsOne) {
  EXPECT_EQ(ui::PanelWording::windowTitle(""), "Ebbwise");
  EXPECT_EQ(ui::PanelWording::windowTitle("3.2 W"), "Ebbwise \u00B7 3.2 W");
}

}  // namespace
}  // namespace ebbwise

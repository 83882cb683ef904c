#include "face/panel_inputs.h"

#include <gtest/gtest.h>

#include <cmath>

#include "cli/simulated_app.h"
#include "face/panel_actions.h"
#include "face/panel_snapshot.h"
#include "support/stub_environment.h"
#include "ui/notch_view.h"
#include "ui/panel_menu.h"
#include "ui/panel_view.h"

namespace ebbwise {
namespace {

RowWatts row(std::string name, double watts) {
  return RowWatts{AppShare{std::move(name), 0.1}, watts};
}

TEST(PanelInputsTest, UsefulLinesKeepTheScreenPlayingBrowsersAndHeavyApps) {
  std::vector<RowWatts> rows = {row("Xcode", 6),    row("Safari", 3),
                                row("Screen", 2.5), row("Music", 1.2),
                                row("Finder", 0.4), row("Screen & other hardware", 2)};
  std::vector<RowWatts> kept =
      PanelInputs::usefulLines(rows, {"Safari", "Music"}, {{"Xcode", 6.0}});
  std::vector<std::string> names;
  for (const RowWatts& r : kept) names.push_back(r.row.name);
  // Music plays but is no browser; Finder is neither heavy nor playing.
  EXPECT_EQ(names,
            (std::vector<std::string>{"Xcode", "Safari", "Screen", "Screen & other hardware"}));
  EXPECT_TRUE(PanelInputs::usefulLines({row("safari", 3)}, {"safari"}, {}).empty())
      << "browsers are matched by their exact name";
}

struct SimulatedFixture : ::testing::Test {
  test::StubEnvironment host;
  std::string error;
  std::unique_ptr<SimulatedApp> app = SimulatedApp::launch(std::nullopt, host, error);

  void SetUp() override {
    ASSERT_TRUE(app) << error;
    app->monitor().setPanelOpen(true);
    app->simulation().runFor(120);
  }
  ui::PanelInput input() {
    return PanelInputs::panel(app->monitor(), app->simulation().loop().now());
  }
};

TEST_F(SimulatedFixture, InputsCarryWhatTheMonitorPublished) {
  Monitor& monitor = app->monitor();
  ui::PanelInput in = input();
  ASSERT_TRUE(monitor.battery);
  EXPECT_EQ(in.notch.battery, monitor.battery);
  EXPECT_EQ(in.notch.netBatteryWatts, monitor.netBatteryWatts());
  EXPECT_EQ(in.notch.minutesLeft, monitor.minutesLeft);
  EXPECT_EQ(in.notch.unit, monitor.settings().unit);
  EXPECT_EQ(in.statusLine.rfind("On battery", 0), 0u) << in.statusLine;
  EXPECT_EQ(in.shares.size(), monitor.shares.size());
  EXPECT_EQ(in.chart.drainHistory.size(), monitor.chart.sampleCount());
  EXPECT_EQ(in.calibration.totalSeconds, HardwareMeasuring::totalSeconds);
  EXPECT_EQ(in.menuBarText, monitor.menuBarText());
  for (const ui::PanelRow& r : in.nowRows) EXPECT_TRUE(r.watts) << r.name;
  EXPECT_FALSE(PanelInputs::overlay(monitor));

  monitor.hardware().calibrateScreen();
  app->simulation().runFor(2);
  auto overlay = PanelInputs::overlay(monitor);
  ASSERT_TRUE(overlay);
  EXPECT_FALSE(overlay->phase.empty());
  EXPECT_TRUE(input().calibration.isCalibrating);
}

TEST_F(SimulatedFixture, PanelControlsActThroughTheMonitor) {
  Monitor& monitor = app->monitor();
  ui::PanelUiState ui;
  auto click = [&](std::string action, int choice = -1) {
    ui::PanelHotspot h;
    h.action = std::move(action);
    h.choice = choice;
    return PanelActions::perform(app->startup(), h, ui);
  };
  EXPECT_EQ(click("menu"), PanelActions::Outcome::done);
  EXPECT_TRUE(ui.menuOpen);

  bool alerts = monitor.settings().alertsOn;
  click(ui::PanelMenu::alertsOn);
  EXPECT_EQ(monitor.settings().alertsOn, !alerts);
  click(ui::PanelMenu::alertWatts, 3);
  EXPECT_EQ(monitor.settings().alertWatts, 5);
  click(ui::PanelMenu::lineTheme, 1);
  EXPECT_EQ(monitor.settings().lineTheme, LineTheme::mana);
  click(ui::PanelMenu::fullscreenStyle, 1);
  EXPECT_EQ(monitor.settings().fullscreenStyle, FullscreenStyle::hide);
  click(ui::PanelView::rangeAction, 2);
  EXPECT_EQ(monitor.range(), HistoryRange::week);
  click("keepIt");
  EXPECT_FALSE(monitor.showHideBatteryIconTip());
  click(ui::PanelMenu::measure);
  EXPECT_TRUE(monitor.hardware().isAskingToCalibrate());
  click("notNow");
  EXPECT_FALSE(monitor.hardware().isAskingToCalibrate());

  // A choice that is not offered changes nothing.
  click(ui::PanelMenu::alertWatts, 7);
  click(ui::PanelView::rangeAction, -1);
  EXPECT_EQ(monitor.settings().alertWatts, 5);
  EXPECT_EQ(monitor.range(), HistoryRange::week);

  EXPECT_EQ(click(ui::PanelMenu::quit), PanelActions::Outcome::quit);
  EXPECT_EQ(click("noSuchControl"), PanelActions::Outcome::ignored);

  // "Open settings" opens the pane and ends the tip as "Keep it" does.
  click("openBatterySettings");
  app->simulation().runFor(1);
  auto opened = app->simulation().mac().openedURLs();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened.front(), Monitor::kBatteryIconSettingsURL);
  EXPECT_FALSE(input().showHideBatteryIconTip);

  // The update checker only runs once launching has started it.
  EXPECT_EQ(click(ui::PanelMenu::checkForUpdates), PanelActions::Outcome::ignored);
  ASSERT_FALSE(app->startup().finishLaunching());
  EXPECT_EQ(click(ui::PanelMenu::checkForUpdates), PanelActions::Outcome::done);
}

TEST_F(SimulatedFixture, SnapshotIsTheOpenPanelOnGreyWithTheLineInTheThemesColour) {
  ui::FontLibrary fonts;
  ui::PanelInput in = input();
  in.notch.battery->percent = 62;
  auto image = PanelSnapshot::render(in, fonts);
  ASSERT_EQ(image->pixelWidth(), 1120);
  ASSERT_EQ(image->pixelHeight(), 1520);
  ui::Color corner = image->pixel(4, 1516);
  EXPECT_NEAR(corner.red, 0.55, 0.01);
  EXPECT_NEAR(corner.alpha, 1, 1e-9);
  EXPECT_NEAR(image->pixel(560, 40).red, 0, 0.01) << "the black tab at the top centre";

  // The line runs down the open panel's left side (its colour that of 62 %)
  // and does not reach back up the right side.
  ui::Color expected = ui::NotchView::lineColor(LineTheme::battery, 62);
  ui::Color left = image->pixel(137, 200);
  EXPECT_NEAR(left.red, expected.red, 0.03);
  EXPECT_NEAR(left.green, expected.green, 0.03);
  EXPECT_NEAR(left.blue, expected.blue, 0.03);
  ui::Color rightTop = image->pixel(1120 - 137, 40);
  EXPECT_GT(std::abs(rightTop.green - expected.green) + std::abs(rightTop.red - expected.red), 0.2);

  std::string path = ::testing::TempDir() + "/no-such-folder/panel.png";
  auto failed = PanelSnapshot::write(app->monitor(), app->simulation().loop().now(), path, fonts);
  ASSERT_TRUE(failed);
  EXPECT_NE(failed->find("no-such-folder"), std::string::npos) << *failed;
}

}  // namespace
}  // namespace ebbwise

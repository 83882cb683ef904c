#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "ui/notch_panel_view.h"
#include "ui/panel_menu.h"
#include "ui/panel_view.h"
#include "ui/panel_wording.h"
#include "ui/recording_canvas.h"

namespace ebbwise::ui {
namespace {

constexpr double kNow = 1'767'225'600.0;

PanelInput onBattery() {
  PanelInput in;
  in.notch.battery = BatteryReading::make(62, 31, -8.5, false, false, {}, {});
  in.notch.battery->fullWh = 50;
  in.notch.battery->chargeMAh = 3120;
  in.notch.battery->fullMAh = 5000;
  in.notch.battery->systemPercent = 62;
  in.notch.netBatteryWatts = -8.5;
  in.notch.minutesLeft = 212;
  in.notch.unit = PowerUnit::watts;
  in.now = sys::Date{kNow};
  in.statusLine = "On battery, about 3h 32m left";
  in.hasSession = true;
  return in;
}

PanelInput onCharger() {
  PanelInput in = onBattery();
  in.notch.battery->onAC = true;
  in.notch.battery->isCharging = true;
  in.notch.isChargingNow = true;
  in.notch.netBatteryWatts = 21.5;
  in.notch.minutesToFull = 48;
  in.chargeFlow = ChargeFlow{30, 8.5};
  in.chargerLabel = "Anker 96 W USB-C charger";
  in.smartChargingMessage = "Smart charging \u00B7 holding at 80%";
  in.heatWarnings = {{"Battery is warm (41 \u00B0C)", "Charging slows down while it is warm."}};
  return in;
}

// A panel drawn from `in`: what it drew and where its controls are.
struct Drawn {
  RecordingCanvas canvas;
  PanelLayout layout;
  explicit Drawn(const PanelInput& in, PanelUiState ui = {}, bool menuBar = false)
      : layout(menuBar ? PanelView::draw(canvas, in, ui) : NotchPanelView::draw(canvas, in, ui)) {}
  bool shows(std::string_view text) const { return canvas.findText(text) != nullptr; }
  // Whether some text drawn holds `part`.
  bool mentions(std::string_view part) const {
    for (const DrawOp* op : canvas.all(DrawOp::Kind::text)) {
      if (op->text.find(part) != std::string::npos) return true;
    }
    return false;
  }
};

TEST(NotchPanelTest, HeaderShowsNetPowerItsCaptionAndTheTiles) {
  Drawn battery(onBattery());
  const DrawOp* big = battery.canvas.findText("\u22128.5");
  ASSERT_TRUE(big);
  EXPECT_EQ(big->style.size, 30);
  for (const char* text : {"draining now", "W", "to empty", "3h 32m", "3120 mAh"}) {
    EXPECT_TRUE(battery.shows(text)) << text;
  }
  // The tiles stand right, the figure left.
  EXPECT_GT(battery.canvas.findText("3120 mAh")->bounds.x, big->bounds.maxX());
  bool help = false;
  for (const PanelHotspot& h : battery.layout.hotspots) {
    help = help || h.help.starts_with("Real charge: 3120 of 5000 mAh. The total is the average");
    EXPECT_EQ(h.help.find("macOS shows"), std::string::npos) << "percents agree";
  }
  EXPECT_TRUE(help);

  PanelInput differs = onBattery();
  differs.notch.battery->systemPercent = 66;
  differs.fullMAh = 5050;
  EXPECT_EQ(PanelWording::capacityHelp(differs),
            "Real charge: 3120 of 5050 mAh. The total is the average of the battery's own "
            "capacity estimates, which jump by a few percent between readings. macOS shows "
            "66%: it counts roughly the top 5% as full.");

  Drawn charging(onCharger());
  for (const char* text : {"charging now", "+21.5", "to full"}) {
    EXPECT_TRUE(charging.shows(text)) << text;
  }
  EXPECT_EQ(PanelWording::headerCaption(false, 0.05), "charging");
  EXPECT_EQ(PanelWording::headerCaption(false, 0.04), "draining now");

  PanelInput weak = onCharger();
  weak.notch.isChargingNow = false;
  weak.notch.netBatteryWatts = -3;
  weak.notch.minutesToFull.reset();
  weak.notch.minutesLeft.reset();
  EXPECT_EQ(PanelWording::timeTile(weak)->label, "charger too weak");
  // Without the system's estimate, the battery's charge at the net drain.
  EXPECT_EQ(PanelWording::timeTile(weak)->value, "10h 20m");
}

TEST(NotchPanelTest, ChargingSectionOnlyOnTheCharger) {
  Drawn battery(onBattery());
  EXPECT_FALSE(battery.canvas.findIcon("powerplug.fill"));
  EXPECT_FALSE(battery.mentions("Mac "));

  Drawn charger(onCharger());
  EXPECT_TRUE(charger.canvas.findIcon("powerplug.fill"));
  EXPECT_TRUE(charger.canvas.findIcon("thermometer.high"));
  // The flow bar: the Mac's share and the battery's, and what comes in.
  for (const char* text : {"Anker 96 W USB-C charger", "Smart charging \u00B7 holding at 80%",
                           "Mac 8.5 W", "Battery +21.5 W", "30.0 W in"}) {
    EXPECT_TRUE(charger.shows(text)) << text;
  }

  // A charger that gives less than the Mac uses: the bar is the Mac's use,
  // part charger and part battery.
  PanelInput weak = onCharger();
  weak.chargeFlow = ChargeFlow{45, 60};
  Drawn draining(weak);
  EXPECT_TRUE(draining.shows("Mac uses 60.0 W"));
  const DrawOp* charged = draining.canvas.findText("Charger 45.0 W");
  const DrawOp* drawn = draining.canvas.findText("Battery \u221215.0 W");
  ASSERT_TRUE(charged && drawn);
  EXPECT_EQ(drawn->bounds.y, charged->bounds.y);

  PanelInput slow = onCharger();
  slow.smartChargingMessage = "Finishing the charge slowly";
  slow.finishingSlowly = true;
  EXPECT_TRUE(Drawn(slow).canvas.findIcon("clock.badge.checkmark"));
}

TEST(NotchPanelTest, RowsShowNamesCaptionsPowerAndSessionFacts) {
  PanelInput in = onBattery();
  in.nowRows = {{"Screen & other hardware", 0.4, 3.2, {}, {}, {}},
                {"Safari", 0.3, 2.25, {}, Color::rgb24(0x3987E5), {}}};
  RowFacts facts;
  facts.folder = "ebbwise";
  facts.processes = 4;
  facts.childTasks = 3;
  facts.orphaned = true;
  in.nowRows.push_back({"claude ebbwise", 0.2, 1.5, {}, {}, facts});
  Drawn panel(in);
  for (const char* text :
       {"Can't be split until your screen is measured", "3.2 W", "Stop its 3 tasks",
        "What started it has closed, so nothing will stop it for you."}) {
    EXPECT_TRUE(panel.shows(text)) << text;
  }
  EXPECT_TRUE(panel.shows("2.2 W") || panel.shows("2.3 W"));
  EXPECT_TRUE(panel.canvas.findIcon("sun.max"));
  // A coloured row's icon wears its chart colour.
  EXPECT_EQ(panel.canvas.findIcon("terminal")->color, Color::rgb24(0x3987E5));
  EXPECT_TRUE(panel.mentions("Claude Code in ebbwise"));
  EXPECT_TRUE(panel.mentions("4 processes"));
  ASSERT_TRUE(panel.layout.find("stop"));
  EXPECT_EQ(panel.layout.find("stop")->row, "claude ebbwise");

  // A session with nothing a stop would end offers no button.
  in.nowRows.back().facts->canStop = false;
  Drawn nothingToStop(in);
  EXPECT_FALSE(nothingToStop.layout.find("stop"));
  EXPECT_TRUE(nothingToStop.mentions("Claude Code in ebbwise"));

  // A stop that reached nothing is told in both panels.
  in.stopError = "Couldn't stop claude: its processes have ended or are not yours to stop.";
  EXPECT_TRUE(Drawn(in).mentions("Couldn't stop claude"));
  in.shares = in.nowRows;
  EXPECT_TRUE(Drawn(in, {}, true).mentions("Couldn't stop claude"));

  EXPECT_EQ(PanelWording::rowCaption("Speakers", "Music", true), "Kept on by Music");
  EXPECT_EQ(PanelWording::rowCaption("Speakers", std::nullopt, true), "");
  EXPECT_EQ(PanelWording::rowCaption("Other hardware", std::nullopt, false),
            "Wi-Fi, Bluetooth, storage, keyboard light, power conversion, and the speakers "
            "until they're measured");
  EXPECT_EQ(PanelWording::stopTitle(RowFacts{}), "Stop");
  RowFacts failed;
  failed.forceStop = true;
  EXPECT_EQ(PanelWording::stopTitle(failed), "Force stop");
  RowFacts alone;
  alone.folder = "ebbwise";
  EXPECT_EQ(PanelWording::factsLine(alone),
            "Claude Code in ebbwise \u00B7 the session itself, nothing else running");
  EXPECT_EQ(PanelWording::factsLine(RowFacts{}), "") << "an app of one process is no session";
}

TEST(NotchPanelTest, LowPowerPillTipAndDevicesAskTheirActions) {
  PanelInput in = onBattery();
  in.showHideBatteryIconTip = true;
  in.devices = {{"Magic Mouse", "computermouse", {{"", 85}}},
                {"AirPods Pro", "airpodspro", {{"L", 92}, {"R", 88}, {"case", 41}}}};
  Drawn off(in);
  EXPECT_TRUE(off.canvas.findIcon("leaf"));
  EXPECT_TRUE(off.canvas.findIcon("computermouse"));
  for (const char* text : {"Low Power", "85%", "L 92% R 88% case 41%"}) {
    EXPECT_TRUE(off.shows(text)) << text;
  }
  EXPECT_TRUE(off.shows(PanelWording::tipTitle));
  ASSERT_TRUE(off.layout.find("lowPower"));
  EXPECT_EQ(off.layout.find("lowPower")->help, "Turn on Low Power Mode (asks for your password).");
  EXPECT_TRUE(off.layout.find("openBatterySettings"));
  EXPECT_TRUE(off.layout.find("keepIt"));

  in.notch.lowPowerOn = true;
  in.lowPowerError = "Low Power Mode couldn't be switched.";
  in.showHideBatteryIconTip = false;
  Drawn on(in);
  EXPECT_EQ(on.canvas.findIcon("leaf.fill")->color, Color::systemYellow());
  EXPECT_TRUE(on.shows("Low Power Mode couldn't be switched."));
  EXPECT_EQ(on.layout.find("lowPower")->help,
            "Low Power Mode is on. Click to turn it off (asks for your password).");
  EXPECT_FALSE(on.shows(PanelWording::tipTitle));
  EXPECT_FALSE(on.layout.find("keepIt"));
}

TEST(NotchPanelTest, HelpTextShowsWhileThePointerRestsOnItsControl) {
  PanelInput in = onBattery();
  Drawn plain(in);
  const PanelHotspot* pill = plain.layout.find("lowPower");
  ASSERT_TRUE(pill);
  const std::string help = PanelWording::lowPowerHelp(false);
  EXPECT_FALSE(plain.shows(help));

  Drawn hovered(in, {.pointer = Point{pill->box.midX(), pill->box.midY()}});
  const DrawOp* tip = hovered.canvas.findText(help);
  ASSERT_TRUE(tip);
  EXPECT_GE(tip->bounds.y, pill->box.maxY());
  EXPECT_LE(tip->bounds.maxX(), NotchPanelView::width);

  EXPECT_FALSE(Drawn(in, {.pointer = Point{-50, -50}}).shows(help));
}

TEST(NotchPanelTest, SettingsMenuListsEverySettingInOrder) {
  PanelInput in = onBattery();
  Drawn closed(in);
  EXPECT_TRUE(closed.canvas.findIcon("ellipsis.circle"));
  EXPECT_FALSE(closed.shows("Quit Ebbwise"));
  EXPECT_TRUE(closed.layout.find("menu"));

  std::vector<std::string> titles;
  for (const MenuItem& item : PanelMenu::notchSettings(in)) titles.push_back(item.title);
  std::vector<std::string> expected = {"Warn about apps draining the battery",
                                       "Warn above",
                                       "Measured on this Mac",
                                       "Screen: not measured yet",
                                       "Speakers: not measured yet",
                                       "Measure screen & speakers\u2026",
                                       "Line colors",
                                       "In fullscreen",
                                       "Also show in menu bar",
                                       "Show notch in recordings (for demos)",
                                       "Open at login",
                                       "",
                                       "Check for Updates\u2026",
                                       "Quit Ebbwise"};
  EXPECT_EQ(titles, expected);

  Drawn open(in, {true, false, std::nullopt});
  for (const char* text : {"Quit Ebbwise", "Battery (green to red)", "Bolt (blue to pink)",
                           "Hide the notch line", "1 W", "2 W", "3 W", "5 W"}) {
    EXPECT_TRUE(open.shows(text)) << text;
  }
  int thresholds = 0;
  for (const PanelHotspot& h : open.layout.hotspots)
    thresholds += h.action == PanelMenu::alertWatts;
  EXPECT_EQ(thresholds, 4);

  // With warnings off their threshold cannot be chosen; during a run the
  // measuring button cannot either.
  in.settings.alertsOn = false;
  in.calibration.isCalibrating = true;
  in.calibration.screenMeasured = true;
  in.calibration.screenWattsFull = 4.25;
  in.calibration.screenWattsNow = 2.5;
  in.brightness = 0.62;
  in.calibration.speakerWatts = 0.125;
  Drawn off(in, {true, false, std::nullopt});
  EXPECT_FALSE(off.layout.find(PanelMenu::alertWatts));
  EXPECT_FALSE(off.layout.find(PanelMenu::measure));
  EXPECT_TRUE(off.shows("Measure screen & speakers again\u2026"));
  EXPECT_TRUE(off.shows("Screen: 2.5 W at 62%, 4.2 W at full brightness") ||
              off.shows("Screen: 2.5 W at 62%, 4.3 W at full brightness"));
  EXPECT_TRUE(off.shows("Speakers: 0.12 W while switched on") ||
              off.shows("Speakers: 0.13 W while switched on"));
}

TEST(NotchPanelTest, CalibrationCardAndButtonFollowTheRun) {
  PanelInput in = onBattery();
  in.calibration.isAskingToCalibrate = true;
  in.calibration.totalSeconds = 57;
  in.brightness = 0.62;
  in.calibration.error = "The speakers couldn't be switched on for measuring.";
  Drawn asking(in);
  EXPECT_TRUE(asking.shows("Measure your screen and speakers"));
  EXPECT_TRUE(asking.mentions("For about 57 seconds, Ebbwise changes"));
  EXPECT_TRUE(asking.mentions("puts it back to 62%. Then"));
  EXPECT_TRUE(asking.layout.find("calibrate"));
  EXPECT_TRUE(asking.layout.find("notNow"));
  EXPECT_TRUE(asking.shows("The speakers couldn't be switched on for measuring."));
  EXPECT_NE(PanelWording::cardText(in.calibration, std::nullopt).find("back to where it was."),
            std::string::npos);

  in.calibration.isAskingToCalibrate = false;
  in.calibration.isCalibrating = true;
  in.calibration.progress = 0.5;
  Drawn running(in);
  EXPECT_TRUE(running.shows("Measuring your screen\u2026"));
  const DrawOp* bar = nullptr;
  for (const DrawOp* op : running.canvas.all(DrawOp::Kind::fill)) {
    if (op->color == Color::systemBlue()) bar = op;
  }
  ASSERT_TRUE(bar);
  EXPECT_NEAR(bar->bounds.width, NotchPanelView::width - 2 * PanelParts::padding, 1e-6 + 194);
}

TEST(MenuBarPanelTest, StatusRangeSummaryChartsAndShares) {
  PanelInput in = onBattery();
  in.rangeSeconds = 2 * 3600 + 5 * 60;
  in.rangeJoules = 12.34 * 3600;
  in.percentAtStart = 96;
  in.percentNow = 62;
  in.shares = {{"Safari", 0.42, 3.4, 5.2 * 3600, Color::rgb24(0x199E70), {}},
               {"macOS background work", 0.18, 1.1, 2.2 * 3600, {}, {}}};
  for (int i = 0; i < 10; ++i) {
    in.chart.drainHistory.push_back({sys::Date{kNow - 300 + i * 30}, {{"Safari", 3.4}}});
  }
  in.chart.chartLines = {"Safari"};
  in.chart.unit = PowerUnit::watts;
  in.chart.now = sys::Date{kNow};
  Drawn panel(in, {}, true);
  for (std::string_view title : PanelWording::rangeTitles) EXPECT_TRUE(panel.shows(title)) << title;
  int segments = 0;
  for (const PanelHotspot& h : panel.layout.hotspots)
    segments += h.action == PanelView::rangeAction;
  EXPECT_EQ(segments, 3);
  for (const char* text : {"On battery, about 3h 32m left", "2h 05m on battery",
                           "96% \u2192 62% \u00B7 12.3 Wh used", "Share", "Used", "42%", "5.2 Wh",
                           "WindowServer, Spotlight and other system tasks \u00B7 1.1 W now",
                           "Watts" /* the power chart's axis */}) {
    EXPECT_TRUE(panel.shows(text)) << text;
  }
  EXPECT_TRUE(panel.canvas.findIcon("gearshape"));

  // On the charger the session pauses.
  in.notch.battery->onAC = true;
  EXPECT_TRUE(Drawn(in, {}, true).shows("paused while plugged in"));

  std::vector<std::string> titles;
  for (const MenuItem& item : PanelMenu::menuBarSettings(in)) titles.push_back(item.title);
  EXPECT_EQ(titles,
            (std::vector<std::string>{
                "Also show in menu bar", "Menu bar shows", "Warn about apps draining the battery",
                "Warn above", "Open at login", "Show notch in recordings (for demos)", "Quit"}));
  in.settings.hasNotch = false;
  EXPECT_EQ(PanelMenu::menuBarSettings(in).front().title, "Menu bar shows");
}

TEST(MenuBarPanelTest, EmptyStatesSayWhyThereIsNothingToShow) {
  PanelInput in = onBattery();
  in.hasSession = false;
  EXPECT_TRUE(Drawn(in, {}, true).shows(PanelWording::trackingStarts));
  in.range = 1;
  Drawn empty(in, {}, true);
  EXPECT_TRUE(empty.shows(PanelWording::notEnoughData));
  EXPECT_FALSE(empty.shows("Share"));
}

TEST(PanelsTest, AbsurdFiguresAndNamesStayInsideThePanels) {
  PanelInput in = onCharger();
  const double nan = std::nan("");
  in.notch.netBatteryWatts = nan;
  in.notch.minutesLeft = -40;
  in.notch.minutesToFull = nan;
  in.chargeFlow = ChargeFlow{1e7, nan};
  in.notch.battery->percent = nan;
  in.notch.battery->chargeMAh = -5;
  std::string longName(300, 'x');
  std::string rtl = "\u05E9\u05DC\u05D5\u05DD a\u0301\u0301\u0301 \u202Eevil";
  in.nowRows = {{longName, nan, 1e7, {}, {}, {}}, {rtl, -3, -1e9, {}, {}, {}}};
  in.shares = {{longName, 1e9, nan, -1e12, {}, {}}, {rtl, nan, 1e7, nan, {}, {}}};
  in.rangeSeconds = -100;
  in.rangeJoules = 1e300;
  in.percentAtStart = nan;
  in.percentNow = 1e9;
  in.calibration.isCalibrating = true;
  in.calibration.progress = nan;
  in.devices = {{longName, "no.such.symbol", {{"", -20}, {longName, 900}}}};

  for (bool menuBar : {false, true}) {
    Drawn panel(in, {true, true, std::nullopt}, menuBar);
    double width = menuBar ? PanelView::width : NotchPanelView::width;
    EXPECT_EQ(panel.canvas.refused(), 0);
    EXPECT_TRUE(std::isfinite(panel.layout.height));
    for (const DrawOp& op : panel.canvas.ops()) {
      ASSERT_TRUE(std::isfinite(op.bounds.x) && std::isfinite(op.bounds.width)) << op.text;
      EXPECT_LE(op.bounds.maxX(), width + 0.5) << op.text << op.symbol;
      EXPECT_GE(op.bounds.x, -0.5) << op.text << op.symbol;
      EXPECT_LT(op.text.size(), 400u);
      if (op.kind != DrawOp::Kind::text) continue;
      EXPECT_EQ(op.text.find("nan"), std::string::npos) << op.text;
      EXPECT_EQ(op.text.find("inf"), std::string::npos) << op.text;
    }
  }
}

}  // namespace
}  // namespace ebbwise::ui

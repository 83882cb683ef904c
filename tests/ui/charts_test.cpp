#include <gtest/gtest.h>

#include <cmath>

#include "ui/drain_chart.h"
#include "ui/energy_text.h"
#include "ui/recording_canvas.h"
#include "ui/series_colors.h"
#include "ui/since_charge_bars.h"

namespace ebbwise::ui {
namespace {

constexpr double kNow = 1'767'225'600.0;
const std::string kRest(ChartSeries::restKey);

DrainChartInput chart(PowerUnit unit = PowerUnit::watts) {
  DrainChartInput in;
  in.unit = unit;
  in.now = sys::Date{kNow};
  for (int i = 0; i < 60; ++i) {
    in.drainHistory.push_back(
        {sys::Date{kNow - 300 + i * 5}, {{"Safari", 4.0}, {"Xcode", 3.9}, {"Mail", 0.5}}});
  }
  in.chartLines = {"Safari", "Xcode", kRest};
  in.seriesSlot = {{"Safari", 2}, {"Xcode", 0}};
  return in;
}

TEST(DrainChartTest, EmptyHistoryShowsTheLastFifteenMinutesUpToOneWatt) {
  DrainChartInput in;
  in.now = sys::Date{kNow};
  DrainChart::Layout l = DrainChart::layout(in, 420);
  EXPECT_DOUBLE_EQ(l.endTime - l.startTime, 900);
  EXPECT_DOUBLE_EQ(l.top, 1.1);
  RecordingCanvas canvas;
  DrainChart::draw(canvas, in, 420);
  EXPECT_NE(canvas.findText("% per hour"), nullptr);
  EXPECT_NE(canvas.findText("15m ago"), nullptr);
  EXPECT_EQ(canvas.refused(), 0);

  // With samples the scale is 1.1 times the largest value drawn.
  EXPECT_DOUBLE_EQ(DrainChart::layout(chart(), 420).top, 1.1 * 4.0);
}

TEST(DrainChartTest, EndMarkersKeepFifteenPointsApartInsideThePlot) {
  using V = std::vector<double>;
  EXPECT_EQ(DrainChart::spreadMarkers(V{50, 55}, 150), (V{50, 65}));
  EXPECT_EQ(DrainChart::spreadMarkers(V{55, 50, 100}, 150), (V{65, 50, 100}));
  // Pushed past the bottom: everything moves up by the overflow.
  EXPECT_EQ(DrainChart::spreadMarkers(V{140, 145}, 150), (V{135, 150}));
  EXPECT_TRUE(DrainChart::spreadMarkers(V{}, 150).empty());

  // Safari (4.0 W) and Xcode (3.9 W) end almost level: their figures separate.
  RecordingCanvas canvas;
  DrainChart::draw(canvas, chart(), 420);
  const DrawOp* safari = canvas.findText("4.0 W");
  const DrawOp* xcode = canvas.findText("3.9 W");
  const DrawOp* rest = canvas.findText("0.5 W");
  ASSERT_TRUE(safari && xcode && rest);
  EXPECT_NEAR(xcode->bounds.midY() - safari->bounds.midY(), 15, 1e-9);
  // Each line in its series colour, the rest in grey.
  auto strokes = canvas.all(DrawOp::Kind::stroke);
  auto wide = std::count_if(strokes.begin(), strokes.end(), [](const DrawOp* op) {
    return op->stroke.width == 2 &&
           (op->color == *SeriesColors::color(2) || op->color == *SeriesColors::color(0) ||
            op->color == Color::systemGray());
  });
  EXPECT_EQ(wide, 3);
}

TEST(DrainChartTest, TooltipFollowsThePointerInsideThePlot) {
  EXPECT_DOUBLE_EQ(DrainChart::tooltipX(0, 120, 300), 0);
  EXPECT_DOUBLE_EQ(DrainChart::tooltipX(300, 120, 300), 180);
  EXPECT_DOUBLE_EQ(DrainChart::tooltipX(150, 120, 300), 90);

  DrainChartInput in = chart();
  DrainChart::Layout l = DrainChart::layout(in, 420);
  RecordingCanvas canvas;
  DrainChart::draw(canvas, in, 420, l.plot.width);
  // The rule at the pointer, and the tooltip ending at the plot's right edge.
  const DrawOp* mail = canvas.findText("Everything else");
  ASSERT_NE(mail, nullptr);
  auto fills = canvas.all(DrawOp::Kind::fill);
  auto box = std::find_if(fills.begin(), fills.end(),
                          [](const DrawOp* op) { return op->color == Color::gray(0.12, 0.94); });
  ASSERT_NE(box, fills.end());
  EXPECT_NEAR((*box)->bounds.maxX(), l.plot.maxX(), 1e-9);
  // Outside the plot there is no tooltip.
  RecordingCanvas away;
  DrainChart::draw(away, in, 420, -5.0);
  EXPECT_EQ(away.findText("Everything else"), nullptr);
}

TEST(DrainChartTest, LowPowerSwitchesInRangeAreMarked) {
  DrainChartInput in = chart();
  in.lowPowerEvents = {
      {sys::Date{kNow - 100}, true}, {sys::Date{kNow - 50}, false}, {sys::Date{kNow - 2000}, true}};
  RecordingCanvas canvas;
  DrainChart::draw(canvas, in, 420);
  EXPECT_NE(canvas.findIcon("leaf.fill"), nullptr);
  EXPECT_NE(canvas.findIcon("leaf"), nullptr);
  auto icons = canvas.all(DrawOp::Kind::icon);
  EXPECT_EQ(std::count_if(icons.begin(), icons.end(),
                          [](const DrawOp* op) { return op->symbol.starts_with("leaf"); }),
            2);
}

TEST(DrainChartTest, BrokenSamplesStayInsideThePlot) {
  DrainChartInput in = chart(PowerUnit::percentPerHour);
  in.drainHistory.push_back({sys::Date{kNow}, {{"Safari", NAN}, {"Xcode", 1e7}, {"Mail", -5}}});
  in.chartLines.push_back(std::string(300, 'n'));
  RecordingCanvas canvas;
  DrainChart::draw(canvas, in, 420, 10.0);
  EXPECT_EQ(canvas.refused(), 0);
  DrainChart::Layout l = DrainChart::layout(in, 420);
  EXPECT_LE(l.top, 1.1e6);
  for (const DrawOp* op : canvas.all(DrawOp::Kind::text)) EXPECT_LE(op->bounds.width, 200);
}

SinceChargeBarsInput bars() {
  SinceChargeBarsInput in;
  in.unit = PowerUnit::watts;
  in.now = sys::Date{kNow};
  SinceCharge record(sys::Date{kNow - 3 * 3600 - 300});
  record.joules = {{"Safari", 36'000}, {"Xcode", 18'000}, {"Mail", 900}, {"Notes", 800},
                   {"Music", 700},     {"Maps", 600},     {"Tiny", 100}};
  in.sinceCharge = record;
  in.chartedRows = {"Safari", "Xcode"};
  in.seriesSlot = {{"Safari", 1}, {"Xcode", 4}};
  in.nowRowWatts = {{"Safari", 3.0}};
  return in;
}

TEST(SinceChargeBarsTest, ShowsNothingWithoutEnergyUsed) {
  SinceChargeBarsInput in = bars();
  in.sinceCharge.reset();
  EXPECT_EQ(SinceChargeBars::height(in), 0);
  in = bars();
  in.sinceCharge->joules.clear();
  RecordingCanvas canvas;
  SinceChargeBars::draw(canvas, in, 420, true);
  EXPECT_TRUE(canvas.ops().empty());
}

TEST(SinceChargeBarsTest, LargestRowsAsBarsInTheirColoursWithTheRestFolded) {
  SinceChargeBarsInput in = bars();
  RecordingCanvas canvas;
  SinceChargeBars::draw(canvas, in, 420, true);
  EXPECT_NE(canvas.findText("Since unplugged"), nullptr);
  EXPECT_NE(canvas.findText("3h05"), nullptr);
  EXPECT_NE(canvas.findText("16 Wh"), nullptr);  // the whole record
  EXPECT_NE(canvas.findText("10 Wh"), nullptr);  // Safari, without decimals from 10 Wh
  EXPECT_NE(canvas.findText(ChartSeries::restKey), nullptr);
  EXPECT_EQ(SinceChargeBars::bars(in).size(), 6u);
  EXPECT_DOUBLE_EQ(SinceChargeBars::height(in), 2 * 6 + 20 + 6 * 19);

  // Bars in the rows' colours, as long as their share of the largest.
  auto fills = canvas.all(DrawOp::Kind::fill);
  auto bar = [&](const Color& c) {
    for (const DrawOp* op : fills) {
      if (op->color == c && op->bounds.height == 6) return op->bounds.width;
    }
    return -1.0;
  };
  double safari = bar(*SeriesColors::color(1)), xcode = bar(*SeriesColors::color(4));
  EXPECT_NEAR(xcode / safari, 0.5, 1e-9);
  // Safari draws power now: its track pulses in its colour.
  auto track = [&](double alpha) {
    return std::any_of(fills.begin(), fills.end(), [&](const DrawOp* op) {
      return op->color == SeriesColors::color(1)->opacity(alpha);
    });
  };
  EXPECT_TRUE(track(0.45));
  RecordingCanvas off;
  SinceChargeBars::draw(off, in, 420, false);
  auto offFills = off.all(DrawOp::Kind::fill);
  EXPECT_TRUE(std::any_of(offFills.begin(), offFills.end(), [](const DrawOp* op) {
    return op->color == SeriesColors::color(1)->opacity(0.18);
  }));
}

TEST(SinceChargeBarsTest, PercentModeShowsShareOfTheBattery) {
  SinceChargeBarsInput in = bars();
  in.unit = PowerUnit::percentPerHour;
  in.battery = BatteryReading::make(50, 25, -5, false, false, {}, {});
  in.battery->fullWh = 50;
  EXPECT_EQ(EnergyText::string(36'000, in.unit, in.battery), "20%");
  EXPECT_EQ(EnergyText::string(900, in.unit, in.battery), "0.5%");
  EXPECT_DOUBLE_EQ(EnergyText::shownAsZero(in.unit, in.battery), 90);
  EXPECT_EQ(EnergyText::string(1800, PowerUnit::watts, std::nullopt), "0.5 Wh");
  EXPECT_EQ(EnergyText::string(NAN, PowerUnit::watts, std::nullopt), "0.0 Wh");
}

TEST(SeriesColorsTest, SlotsWrapAndTheAssistantsSessionsShareItsColour) {
  EXPECT_EQ(SeriesColors::color(7), SeriesColors::color(1));
  EXPECT_EQ(SeriesColors::color(-1), SeriesColors::color(5));
  EXPECT_EQ(SeriesColors::color(std::nullopt), std::nullopt);
  EXPECT_NEAR(SeriesColors::hues()[0], 0.592, 0.001);  // 0x3987E5, a blue
  std::vector<std::string> charted = {"Claude"};
  std::map<std::string, int> slots = {{"Claude", 3}};
  EXPECT_EQ(SeriesColors::forRow("Claude Code (ebbwise)", charted, slots), SeriesColors::color(3));
  EXPECT_EQ(SeriesColors::forRow("Safari", charted, slots), std::nullopt);
}

}  // namespace
}  // namespace ebbwise::ui

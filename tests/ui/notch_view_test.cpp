#include "ui/notch_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "ui/notch_animator.h"
#include "ui/notch_metrics.h"
#include "ui/recording_canvas.h"

namespace ebbwise::ui {
namespace {

NotchState closedState() {
  NotchState s;
  s.notchSize = {192, 38};
  return s;
}

NotchViewInput onBattery(double percent) {
  NotchViewInput in;
  in.battery = BatteryReading::make(percent, 30, -8.5, false, false, {}, {});
  in.battery->fullWh = 50;
  in.netBatteryWatts = -8.5;
  in.minutesLeft = 212;
  in.unit = PowerUnit::watts;
  return in;
}

struct Drawn {
  RecordingCanvas canvas;
  explicit Drawn(const NotchViewInput& in, const NotchState& state = closedState(),
                 std::optional<NotchMotion> motion = std::nullopt) {
    NotchView::draw(canvas, in, state, motion.value_or(NotchMotion::resting(state, in)));
  }
  // The battery line's strokes: the track first, then the level, then the sweep.
  std::vector<const DrawOp*> lines() const {
    std::vector<const DrawOp*> out;
    for (const DrawOp* op : canvas.all(DrawOp::Kind::stroke)) {
      if (op->stroke.width == NotchMetrics::lineWidth) out.push_back(op);
    }
    return out;
  }
  const DrawOp* track() const { return lines().at(0); }
  const DrawOp* level() const { return lines().size() > 1 ? lines()[1] : nullptr; }
};

void expectColor(const Color& actual, const Color& expected) {
  EXPECT_NEAR(actual.red, expected.red, 1e-9);
  EXPECT_NEAR(actual.green, expected.green, 1e-9);
  EXPECT_NEAR(actual.blue, expected.blue, 1e-9);
}

TEST(NotchViewTest, LineLengthAndColourFollowThePercent) {
  struct Case {
    std::optional<double> percent;
    double share, hue;
  } cases[] = {
      {50, 0.5, 0.165}, {5, 0.05, 0}, {95, 0.95, 0.33}, {100, 1, 0.33}, {std::nullopt, 1, 0.33}};
  for (const Case& c : cases) {
    NotchViewInput in = c.percent ? onBattery(*c.percent) : NotchViewInput{};
    Drawn d(in);
    ASSERT_NE(d.level(), nullptr);
    EXPECT_NEAR(d.level()->length / d.track()->length, c.share, 0.002) << c.share;
    expectColor(d.level()->color, Color::hsb(c.hue, 0.95, 0.85));
    // The track is the whole outline in faint grey, just outside the black tab.
    EXPECT_NEAR(d.track()->color.alpha, 0.25, 1e-9);
    EXPECT_NEAR(d.track()->bounds.width, 192 + 3, 1e-9);
  }
  // Without a reading the left label shows the battery as full.
  EXPECT_NE(Drawn(NotchViewInput{}).canvas.findIcon("battery.100percent"), nullptr);
}

TEST(NotchViewTest, ManaThemeDrawsTheLevelInItsGradient) {
  NotchViewInput in = onBattery(60);
  in.lineTheme = LineTheme::mana;
  Drawn d(in);
  const auto* g = std::get_if<LinearGradient>(&d.level()->paint);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->stops.size(), 3u);
  EXPECT_EQ(g->stops.front().color, Color::rgb24(0x5EE7FF));
  EXPECT_EQ(g->stops.back().color, Color::rgb24(0xFF6FD8));
  // Leading to trailing edge of the line.
  EXPECT_NEAR(g->end.x - g->start.x, d.track()->bounds.width, 1e-9);
}

TEST(NotchViewTest, ChargingSweepRunsBeyondTheLevelAndGoesWithTheCharger) {
  NotchViewInput in = onBattery(40);
  in.battery->onAC = true;
  in.isChargingNow = true;
  NotchMotion motion = NotchMotion::resting(closedState(), in);
  motion.sweepPhase = 2.4;  // 0.4 into a cycle: from 0.4 to 0.7 at 0.35
  Drawn charging(in, closedState(), motion);
  ASSERT_EQ(charging.lines().size(), 3u);
  const DrawOp* sweep = charging.lines()[2];
  EXPECT_EQ(sweep->color, Color::white().opacity(0.35));
  EXPECT_NEAR(sweep->length / charging.track()->length, 0.3, 0.002);
  EXPECT_NE(charging.canvas.findIcon("bolt.fill"), nullptr);
  EXPECT_NE(charging.canvas.findText("Holding"), nullptr);  // no time to full known yet

  in.isChargingNow = false;
  in.battery->onAC = false;
  EXPECT_EQ(Drawn(in, closedState(), motion).lines().size(), 2u);
}

TEST(NotchViewTest, RightLabelShowsHeavyAppsOrTheTime) {
  NotchViewInput in = onBattery(62);
  Drawn plain(in);
  const DrawOp* caption = plain.canvas.findText("> Empty");
  const DrawOp* value = plain.canvas.findText("3h30");
  ASSERT_NE(caption, nullptr);
  ASSERT_NE(value, nullptr);
  EXPECT_LT(caption->bounds.maxY(), value->bounds.maxY());
  // The label's inner edge sits 6 points outside the flare.
  EXPECT_NEAR(std::min(caption->bounds.x, value->bounds.x), 96 + 6 + 6, 1e-9);

  in.hogs = {{"Safari", 6.2}, {"Screen", 3.1}, {"Xcode", 2.6}};
  Drawn hogs(in);
  EXPECT_EQ(hogs.canvas.findText("> Empty"), nullptr);
  const DrawOp* sum = hogs.canvas.findText("12W");
  ASSERT_NE(sum, nullptr);
  EXPECT_GT(sum->bounds.x, 96);  // right of the notch
  const DrawOp* badge = hogs.canvas.findIcon("exclamationmark.triangle.fill");
  ASSERT_NE(badge, nullptr);
  EXPECT_EQ(badge->color, Color::systemOrange());
  // Three overlapping icons (Screen's own symbol among them), the heaviest in front.
  const DrawOp* screen = hogs.canvas.findIcon("sun.max");
  ASSERT_NE(screen, nullptr);
  auto icons = hogs.canvas.all(DrawOp::Kind::icon);
  EXPECT_EQ(std::count_if(icons.begin(), icons.end(),
                          [](const DrawOp* op) {
                            return op->bounds.x > 96 &&
                                   op->symbol != "exclamationmark.triangle.fill";
                          }),
            3);
  EXPECT_LT(badge->bounds.x, screen->bounds.maxX());

  // At most four apps are shown; their sum is of those four.
  in.hogs = {{"A", 1}, {"B", 1}, {"C", 1}, {"D", 1}, {"E", 50}};
  EXPECT_NE(Drawn(in).canvas.findText("4W"), nullptr);
}

TEST(NotchViewTest, LeftLabelShowsSourceAndNetPower) {
  NotchViewInput in = onBattery(70);
  Drawn d(in);
  const DrawOp* icon = d.canvas.findIcon("battery.75percent");
  const DrawOp* watts = d.canvas.findText("\u22128W");
  ASSERT_NE(icon, nullptr);
  ASSERT_NE(watts, nullptr);
  EXPECT_NEAR(std::max(icon->bounds.maxX(), watts->bounds.maxX()), -(96 + 6 + 6), 1e-9);
  EXPECT_EQ(icon->color, Color::white());

  in.lowPowerOn = true;
  in.unit = PowerUnit::percentPerHour;  // 8.5 W of 50 Wh is 17%/h
  Drawn saving(in);
  ASSERT_NE(saving.canvas.findIcon("leaf.fill"), nullptr);
  EXPECT_EQ(saving.canvas.findIcon("leaf.fill")->color, Color::systemYellow());
  EXPECT_NE(saving.canvas.findText("\u221217%/h"), nullptr);
}

TEST(NotchViewTest, FullscreenDimsOrHidesLineAndLabelsOnlyWhileClosed) {
  NotchViewInput in = onBattery(50);
  in.isFullscreen = true;
  for (auto [style, expected] :
       {std::pair{FullscreenStyle::dim, 0.5}, {FullscreenStyle::hide, 0.0}}) {
    in.fullscreenStyle = style;
    Drawn closed(in);
    EXPECT_DOUBLE_EQ(closed.level()->opacity, expected);
    for (const DrawOp* t : closed.canvas.all(DrawOp::Kind::text))
      EXPECT_DOUBLE_EQ(t->opacity, expected);
    // The black tab itself stays.
    auto fills = closed.canvas.all(DrawOp::Kind::fill);
    EXPECT_TRUE(std::any_of(fills.begin(), fills.end(), [](const DrawOp* op) {
      return op->color == Color::black() && op->opacity == 1 && op->bounds.width > 192;
    }));
  }
  NotchState open = closedState();
  open.isOpen = true;
  Drawn opened(in, open);
  EXPECT_DOUBLE_EQ(opened.level()->opacity, 1);
  EXPECT_TRUE(opened.canvas.all(DrawOp::Kind::text).empty());  // labels make way for the panel
}

TEST(NotchViewTest, OpenTabGrowsIntoThePanelAndPreparingLaysItOutUnseen) {
  NotchState state = closedState();
  state.panelContentHeight = 300;
  EXPECT_EQ(NotchView::tab(state, 0).size, (Size{204, 38}));
  EXPECT_EQ(NotchView::tab(state, 1).size, (Size{448, 338}));
  EXPECT_DOUBLE_EQ(NotchView::tab(state, 1).radius, 26);
  state.maxPanelHeight = 100;  // a short screen caps the panel
  EXPECT_EQ(NotchView::tab(state, 1).size.height, 138);

  int laidOut = 0;
  PanelContents panel = [&](Canvas& c, Size size) {
    ++laidOut;
    EXPECT_EQ(size, (Size{420, 100}));
    c.fill(Path::rect(Box{0, 0, size.width, size.height}), Color::white());
  };
  state.isPreparing = true;
  RecordingCanvas canvas;
  NotchView::draw(canvas, onBattery(50), state, NotchMotion::resting(state, onBattery(50)), panel);
  EXPECT_EQ(laidOut, 1);
  const DrawOp* contents = nullptr;
  for (const DrawOp* op : canvas.all(DrawOp::Kind::fill)) {
    if (op->color == Color::white()) contents = op;
  }
  ASSERT_NE(contents, nullptr);
  EXPECT_EQ(contents->opacity, 0);
  EXPECT_EQ(contents->bounds, (Box{-210, 38, 420, 100}));  // below the notch
}

TEST(NotchViewTest, DemoNotchDrawsOutlineAndLensWhileClosed) {
  NotchViewInput in = onBattery(50);
  in.demoNotch = true;
  Drawn d(in);
  auto strokes = d.canvas.all(DrawOp::Kind::stroke);
  EXPECT_TRUE(std::any_of(strokes.begin(), strokes.end(), [](const DrawOp* op) {
    return op->stroke.width == 0.75 && op->color == Color::white().opacity(0.18);
  }));
  auto fills = d.canvas.all(DrawOp::Kind::fill);
  auto lens = std::find_if(fills.begin(), fills.end(), [](const DrawOp* op) {
    return std::holds_alternative<RadialGradient>(op->paint);
  });
  ASSERT_NE(lens, fills.end());
  EXPECT_NEAR((*lens)->bounds.midX(), 0, 1e-6);
  EXPECT_NEAR((*lens)->bounds.y, 38 / 2.0 - 2.75, 0.05);
  NotchState open = closedState();
  open.isOpen = true;
  RecordingCanvas canvas;
  NotchView::draw(canvas, in, open, NotchMotion::resting(open, in));
  auto openFills = canvas.all(DrawOp::Kind::fill);
  EXPECT_TRUE(std::none_of(openFills.begin(), openFills.end(), [](const DrawOp* op) {
    return std::holds_alternative<RadialGradient>(op->paint);
  }));
}

TEST(NotchViewTest, AbsurdFiguresGiveBoundedTextAndNoBrokenGeometry) {
  NotchViewInput in = onBattery(NAN);
  in.netBatteryWatts = 1e7;  // 10 MW
  in.minutesLeft = -30;      // no time at all
  in.minutesToFull = NAN;
  in.hogs = {{std::string(300, 'x'), NAN},
             {"\u05e1\u05e4\u05d0\u05e8\u05d9", 1e7},
             {"Cafe\u0301 \xff\xfe", -2}};
  Drawn d(in);
  EXPECT_EQ(d.canvas.refused(), 0);
  for (const DrawOp& op : d.canvas.ops()) {
    EXPECT_TRUE(std::isfinite(op.bounds.x) && std::isfinite(op.bounds.width));
    if (op.kind == DrawOp::Kind::text) {
      EXPECT_LE(op.text.size(), 16u) << op.text;
    }
  }
  EXPECT_NE(d.canvas.findText("+999999W"), nullptr);
  // NaN percent: an empty red line, the empty battery, never a crash.
  EXPECT_EQ(d.level(), nullptr);

  in.hogs.clear();
  Drawn noTime(in);
  EXPECT_EQ(noTime.canvas.findText("> Empty"), nullptr);
}

TEST(NotchAnimatorTest, OpeningSpringsAndTheLevelGlides) {
  NotchAnimator animator;
  NotchState state = closedState();
  NotchViewInput in = onBattery(40);
  animator.update(state, in, 100);
  EXPECT_FALSE(animator.isMoving(100));
  EXPECT_DOUBLE_EQ(animator.at(100).level, 0.4);

  state.isOpen = true;
  in.battery->percent = 80;
  animator.update(state, in, 100);
  EXPECT_TRUE(animator.isMoving(100.1));
  EXPECT_NEAR(animator.at(100.3).level, 0.6, 1e-9);  // halfway through 0.6 s, eased
  EXPECT_EQ(animator.at(100.04).panelOpacity, 0);    // the panel waits 0.05 s
  double peak = 0;
  for (double t = 100; t < 101.5; t += 0.01) peak = std::max(peak, animator.at(t).openness);
  EXPECT_GT(peak, 1.0);  // the opening spring overshoots a little
  EXPECT_FALSE(animator.isMoving(102));
  EXPECT_EQ(animator.at(102).openness, 1);
  EXPECT_EQ(animator.at(102).level, 0.8);

  state.isOpen = false;
  animator.update(state, in, 110);
  double lowest = 1;
  for (double t = 110; t < 111.5; t += 0.01) lowest = std::min(lowest, animator.at(t).openness);
  EXPECT_GE(lowest, 0);  // closing is critically damped: no bounce past shut
  EXPECT_EQ(animator.at(112).panelOpacity, 0);
  EXPECT_DOUBLE_EQ(animator.at(ChargingSweep::cycle * 3).sweepPhase, 3);
}

}  // namespace
}  // namespace ebbwise::ui

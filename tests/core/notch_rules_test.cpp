#include <gtest/gtest.h>

#include <limits>

#include "core/fullscreen_style.h"
#include "core/line_theme.h"
#include "core/notch_geometry.h"
#include "core/notch_labels.h"
#include "core/notch_support.h"
#include "core/power_format.h"

namespace ebbwise {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const Rect kScreen{0, 0, 1512, 982};

TEST(NotchGeometryTest, NotchLiesBetweenTheMenuBarAreas) {
  Rect area{0, 944, 660, 38};
  auto notch = NotchGeometry::from(kScreen, area, area, 38);
  ASSERT_TRUE(notch);
  EXPECT_EQ(notch->rect, (Rect{660, 944, 192, 38}));
  // A screen right of another keeps its own coordinates.
  EXPECT_EQ(NotchGeometry::from(Rect{1512, 0, 1512, 982}, area, area, 38)->rect.x, 2172);

  EXPECT_FALSE((NotchGeometry::from(kScreen, std::nullopt, area, 38)));
  EXPECT_FALSE((NotchGeometry::from(kScreen, area, std::nullopt, 38)));
  EXPECT_FALSE((NotchGeometry::from(kScreen, area, Rect{0, 0, 832, 38}, 38)));  // 20-point gap
  EXPECT_TRUE((NotchGeometry::from(kScreen, area, Rect{0, 0, 831, 38}, 38)));
  EXPECT_FALSE((NotchGeometry::from(kScreen, area, area, 0)));
  EXPECT_FALSE((NotchGeometry::from(kScreen, area, area, kNaN)));
  EXPECT_FALSE((NotchGeometry::from(kScreen, area, Rect{0, 0, kNaN, 38}, 38)));
}

TEST(NotchSupportTest, DecidesFromTheFirstMatchingCondition) {
  EXPECT_EQ(decideNotchSupport(false, false, true, true), NotchSupport::unsupported);
  EXPECT_EQ(decideNotchSupport(false, false, true, false), NotchSupport::wait);
  EXPECT_EQ(decideNotchSupport(false, true, false, false), NotchSupport::wait);
}

TEST(FullscreenTest, WindowCoversWithinToleranceAndStylesRoundTrip) {
  std::vector<Rect> exact = {{0, 0, 1512, 982}};
  std::vector<Rect> short2 = {{100, 100, 50, 50}, {0, 0, 1510, 982}};
  EXPECT_TRUE(FullscreenWindow::covers(kScreen, exact, 0));
  EXPECT_FALSE(FullscreenWindow::covers(kScreen, short2, 1.9));
  EXPECT_TRUE(FullscreenWindow::covers(kScreen, short2, 2));
  EXPECT_FALSE(FullscreenWindow::covers(kScreen, {}, 100));

  // Stored settings: every case reads back, unknown strings give nothing.
  for (auto style : allFullscreenStyles) {
    EXPECT_EQ(fullscreenStyleFromRawValue(rawValue(style)), style);
  }
  for (auto theme : allLineThemes) EXPECT_EQ(lineThemeFromRawValue(rawValue(theme)), theme);
  for (auto unit : allPowerUnits) EXPECT_EQ(powerUnitFromRawValue(rawValue(unit)), unit);
  EXPECT_EQ(fullscreenStyleFromRawValue("dim"), std::nullopt);
  EXPECT_EQ(powerUnitFromRawValue("Watts"), std::nullopt);
}

TEST(LineColourTest, HueRunsBetweenTenAndNinetyPercent) {
  const std::array<double, 3> cases[] = {{50, 0.165, 0.5}, {5, 0, 0.05},   {95, 0.33, 0.95},
                                         {-20, 0, 0},      {140, 0.33, 1}, {kNaN, 0, 0}};
  for (auto [percent, hue, fraction] : cases) {
    EXPECT_NEAR(BatteryColor::hue(percent), hue, 1e-12) << percent;
    EXPECT_NEAR(BatteryColor::fraction(percent), fraction, 1e-12) << percent;
  }
  EXPECT_EQ(hsb(LineTheme::battery, 95), (HSB{0.33, 0.85, 0.95}));
  EXPECT_EQ(hsb(LineTheme::mana, kNaN), (HSB{0.53, 0.62, 1.0}));
  EXPECT_NEAR(hsb(LineTheme::mana, 90).hue, 0.87, 1e-12);
  EXPECT_FALSE(gradient(LineTheme::battery));
  EXPECT_EQ(gradient(LineTheme::mana)->back(), 0xFF6FD8u);
}

TEST(ChargingSweepTest, GrowsToTheFullEndThenFades) {
  // level, phase → from, to, opacity
  const std::array<double, 5> cases[] = {{0.4, 2.4, 0.4, 0.7, 0.35}, {0.4, 0.9, 0.4, 1.0, 0.175},
                                         {0.4, 0.8, 0.4, 1.0, 0.35}, {1.5, 0.3, 1.0, 1.0, 0.35},
                                         {-1, -0.6, 0, 0.5, 0.35},   {kNaN, kNaN, 0, 0, 0.35}};
  for (auto [level, phase, from, to, opacity] : cases) {
    auto s = ChargingSweep::segment(level, phase);
    EXPECT_NEAR(s.from, from, 1e-12) << level << "@" << phase;
    EXPECT_NEAR(s.to, to, 1e-12) << level << "@" << phase;
    EXPECT_NEAR(s.opacity, opacity, 1e-12) << level << "@" << phase;
  }
}

TEST(NotchLabelsTest, PowerSourceSymbol) {
  EXPECT_EQ(PowerSourceIcon::symbol(true, false, 100), "powerplug.fill");
  EXPECT_EQ(PowerSourceIcon::symbol(false, false, 88), "battery.100percent");
  EXPECT_EQ(PowerSourceIcon::symbol(false, false, 87.9), "battery.75percent");
  EXPECT_EQ(PowerSourceIcon::symbol(false, false, 12.9), "battery.0percent");
  EXPECT_EQ(PowerSourceIcon::symbol(false, true, kNaN), "battery.0percent");
}

TEST(NotchLabelsTest, RightLabelShowsTimeToFullHeldPercentOrTimeLeft) {
  using Lines = NotchRightLabel::Lines;
  EXPECT_EQ(NotchRightLabel::lines(62, true, 300, 50), (Lines{"> Full", "1h02"}));
  EXPECT_EQ(NotchRightLabel::lines(std::nullopt, true, 300, 79.5), (Lines{"Holding", "80%"}));
  EXPECT_EQ(NotchRightLabel::lines({}, true, {}, kNaN), (Lines{"Holding", "0%"}));
  EXPECT_EQ(NotchRightLabel::lines({}, true, {}, 1e300), (Lines{"Holding", "100%"}));
  // Time left is steady: rounded to five minutes from an hour on.
  EXPECT_EQ(NotchRightLabel::lines({}, false, 62, 50), (Lines{"> Empty", "1h00"}));
  EXPECT_EQ(NotchRightLabel::lines({}, false, 42, 50), (Lines{"> Empty", "42m"}));
  EXPECT_EQ(NotchRightLabel::lines({}, false, {}, 50), std::nullopt);
}

}  // namespace
}  // namespace ebbwise

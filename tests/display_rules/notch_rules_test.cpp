#include <gtest/gtest.h>

#include <cmath>

#include "accounting/chart_series.h"
#include "display_rules/line_theme.h"
#include "display_rules/notch_geometry.h"
#include "display_rules/notch_labels.h"
#include "accounting/series_color_choice.h"

namespace ebbwise {
namespace {

TEST(NotchGeometryTest, NotchLiesBetweenTheMenuBarAreas) {
  const Rect screen{1512, 0, 1512, 982}, area{0, 944, 660, 38};  // right of another screen
  EXPECT_EQ(NotchGeometry::from(screen, area, area, 38)->rect, (Rect{2172, 944, 192, 38}));
  EXPECT_TRUE(NotchGeometry::from(screen, area, Rect{0, 0, 831, 38}, 38));
  // No notch without both areas, a gap of 20 points or more, or a menu bar.
  const std::tuple<std::optional<Rect>, std::optional<Rect>, double> none[] = {
      {std::nullopt, area, 38},
      {area, Rect{0, 0, 832, 38}, 38},
      {area, area, 0},
      {area, Rect{0, 0, NAN, 38}, NAN}};
  for (const auto& [left, right, height] : none) {
    EXPECT_FALSE(NotchGeometry::from(screen, left, right, height)) << height;
  }
}

TEST(NotchLabelsTest, RightLabelShowsTimeToFullHeldPercentOrSteadyTimeLeft) {
  using Lines = NotchRightLabel::Lines;
  EXPECT_EQ(NotchRightLabel::lines(62, true, 300, 50), (Lines{"> Full", "1h02"}));
  EXPECT_EQ(NotchRightLabel::lines(std::nullopt, true, 300, 79.5), (Lines{"Holding", "80%"}));
  EXPECT_EQ(NotchRightLabel::lines({}, true, {}, NAN), (Lines{"Holding", "0%"}));
  EXPECT_EQ(NotchRightLabel::lines({}, false, 62, 50), (Lines{"> Empty", "1h00"}));
  EXPECT_EQ(NotchRightLabel::lines({}, false, {}, 50), std::nullopt);
  EXPECT_EQ(PowerSourceIcon::symbol(false, true, NAN), "battery.0percent");
  // Broken levels keep the charging sweep and the line colour in range.
  EXPECT_EQ(ChargingSweep::segment(NAN, NAN).to, 0);
  EXPECT_EQ(BatteryColor::hue(NAN), 0);
}

TEST(ChartSeriesTest, PickTakesTheHighestPeaksAndTheRestLineIsNeverNegative) {
  std::vector<ChartSeries::Point> history = {
      {{"A", 1}, {"B", 4}, {"Other apps", 9}, {"Dip", -2}},
      {{"A", 5}, {"C", 0.04}, {"D", 2}, {"E", 2}, {"F", NAN}}};
  using Names = std::vector<std::string>;
  EXPECT_EQ(ChartSeries::pick(history, 3, 0.05, {"Other apps"}), (Names{"A", "B", "D"}));
  const std::string rest(ChartSeries::restKey);
  EXPECT_DOUBLE_EQ(ChartSeries::value(rest, {{"A", 3}, {"B", 2}}, {"A", "A", rest}), 2);
  EXPECT_DOUBLE_EQ(ChartSeries::value(rest, {{"A", -4}, {"B", 1}, {"C", NAN}}, {"B"}), 0);
}

TEST(SeriesColorChoiceTest, DominantHueIsTheMostColourfulBucketsMean) {
  using SeriesColorChoice::Pixel;
  std::vector<Pixel> pixels = {{0.60, 0.9, 0.9, 1}, {0.62, 0.5, 0.9, 1},  // blue, heavier
                               {0.05, 1.0, 0.9, 1},                       // red
                               {0.30, 1, 0.9, 0.2}, {0.30, 0.2, 0.9, 1}, {0.30, 1, 0.1, 1}};
  EXPECT_NEAR(*SeriesColorChoice::dominantHue(pixels), (0.60 * 0.9 + 0.62 * 0.5) / 1.4, 1e-12);
  // Garbage pixels count as colourless.
  EXPECT_EQ(SeriesColorChoice::dominantHue(std::vector<Pixel>{
                {NAN, 1, 1, 1}, {-0.5, 1, 1, 1}, {2, 1, 1, 1}, {0.5, NAN, 1, 1}}),
            std::nullopt);
}

}  // namespace
}  // namespace ebbwise

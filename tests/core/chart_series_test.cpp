#include "core/chart_series.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/series_color_choice.h"

namespace ebbwise {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(ChartSeriesTest, AssistantSessionsShareOneSeries) {
  EXPECT_EQ(ChartSeries::key("Claude Code (tests)"), "Claude");
  EXPECT_EQ(ChartSeries::key("Claude Code"), "Claude Code");
  EXPECT_EQ(ChartSeries::group({{"Claude", 1}, {"Claude Code (a)", 2}, {"Mail", 3}}),
            (ChartSeries::Point{{"Claude", 3}, {"Mail", 3}}));
}

TEST(ChartSeriesTest, PickTakesTheHighestPeaks) {
  std::vector<ChartSeries::Point> history = {
      {{"A", 1}, {"B", 4}, {"Other apps", 9}, {"Dip", -2}},
      {{"A", 5}, {"C", 0.04}, {"D", 2}, {"E", 2}, {"F", kNaN}}};
  using Names = std::vector<std::string>;
  EXPECT_EQ(ChartSeries::pick(history, 3, 0.05, {"Other apps"}), (Names{"A", "B", "D"}));
  EXPECT_EQ(ChartSeries::pick(history, 10, 0.05, {"Other apps"}), (Names{"A", "B", "D", "E"}));
  // A row that only ever reads below 0 peaks at 0.
  EXPECT_EQ(ChartSeries::pick({{{"Dip", -1}}}, 5, 0, {}), (Names{"Dip"}));
}

TEST(ChartSeriesTest, RestLineHoldsWhatDrawnSeriesDoNotAndIsNeverNegative) {
  ChartSeries::Point point{{"A", 3}, {"B", 2}, {"C", 1}};
  std::string rest(ChartSeries::restKey);
  EXPECT_DOUBLE_EQ(ChartSeries::value("A", point, {"A"}), 3);
  EXPECT_DOUBLE_EQ(ChartSeries::value("Z", point, {"A"}), 0);
  EXPECT_DOUBLE_EQ(ChartSeries::value(rest, point, {"A", rest}), 3);
  EXPECT_DOUBLE_EQ(ChartSeries::value(rest, point, {}), 6);
  EXPECT_DOUBLE_EQ(ChartSeries::value(rest, point, {"A", "A"}), 3);
  EXPECT_DOUBLE_EQ(ChartSeries::value(rest, {{"A", -4}, {"B", 1}}, {"B"}), 0);
  EXPECT_DOUBLE_EQ(ChartSeries::value(rest, {{"A", kNaN}}, {}), 0);
}

using SeriesColorChoice::Pixel;

TEST(SeriesColorChoiceTest, DominantHueIsTheMostColourfulBucketsMean) {
  std::vector<Pixel> pixels = {{0.60, 0.9, 0.9, 1}, {0.62, 0.5, 0.9, 1},  // blue, heavier
                               {0.05, 1.0, 0.9, 1},                       // red
                               {0.30, 1, 0.9, 0.2}, {0.30, 0.2, 0.9, 1}, {0.30, 1, 0.1, 1}};
  EXPECT_NEAR(*SeriesColorChoice::dominantHue(pixels), (0.60 * 0.9 + 0.62 * 0.5) / 1.4, 1e-12);
  // Hue 1.0 lands in the last bucket instead of past the end.
  EXPECT_NEAR(*SeriesColorChoice::dominantHue(std::vector<Pixel>{{1.0, 1, 1, 1}}), 1.0, 1e-12);
  const std::vector<Pixel> colourless[] = {
      {},
      {{0.5, 1, 1, 0}, {0.2, 1, 1, 0.5}},                                  // transparent
      {{0.5, 0, 0.8, 1}, {0.1, 0.3, 1, 1}},                                // grey
      {{kNaN, 1, 1, 1}, {-0.5, 1, 1, 1}, {2, 1, 1, 1}, {0.5, kNaN, 1, 1}}  // garbage
  };
  for (const auto& image : colourless) {
    EXPECT_EQ(SeriesColorChoice::dominantHue(image), std::nullopt);
  }
}

TEST(SeriesColorChoiceTest, SlotPrefersTheNearestFreeHue) {
  std::vector<double> hues = {0.0, 0.25, 0.5, 0.875};
  std::vector<std::size_t> neutral = {2, 0};
  struct Case {
    std::optional<double> icon;
    std::set<std::size_t> taken;
    std::optional<std::size_t> slot;
  };
  const Case cases[] = {{0.26, {}, 1},
                        {0.95, {3}, 0},  // across the wrap of the circle
                        {0.375, {}, 1},  // as near 0.25 as 0.5: the lower index
                        {0.3, {0, 1, 2, 3}, std::nullopt},
                        {std::nullopt, {}, 2},
                        {std::nullopt, {2}, 0},
                        {std::nullopt, {0, 1, 2, 3}, std::nullopt}};
  for (const auto& c : cases) {
    EXPECT_EQ(SeriesColorChoice::slot(c.icon, hues, c.taken, neutral), c.slot)
        << c.icon.value_or(-1) << " taken " << c.taken.size();
  }
}

}  // namespace
}  // namespace ebbwise

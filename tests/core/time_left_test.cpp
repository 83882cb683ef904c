#include "core/time_left.h"

#include <gtest/gtest.h>

#include <limits>

namespace ebbwise {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(TimeLeftTest, MinutesToEmptyNeedsEnergyAndARealDrain) {
  EXPECT_EQ(TimeLeft::minutesToEmpty(50, 10), 300);
  EXPECT_EQ(TimeLeft::minutesToEmpty(50, 0.5), std::nullopt);
  EXPECT_EQ(TimeLeft::minutesToEmpty(0, 10), std::nullopt);
  EXPECT_EQ(TimeLeft::minutesToEmpty(kNaN, 10), std::nullopt);
}

TEST(TimeLeftTest, TextsRoundToWholeMinutes) {
  // minutes → format, compact steady, compact
  const std::tuple<double, std::string, std::string, std::string> cases[] = {
      {45, "45m", "45m", "45m"},
      {59.4, "59m", "59m", "59m"},
      {59.5, "1h 00m", "1h00", "1h00"},  // halves round away from zero
      {59.6, "1h 00m", "1h00", "1h00"},
      {62, "1h 02m", "1h00", "1h02"},
      {63, "1h 03m", "1h05", "1h03"},
      {0.4, "0m", "0m", "0m"},
      {-0.4, "0m", "0m", "0m"},  // no "-0m"
      {-0.0, "0m", "0m", "0m"},
      {1439.7, "24h 00m", "24h00", "24h00"},
      // Broken counts still give a text: NaN as 0, enormous ones held at a
      // bound of about 19 years.
      {kNaN, "0m", "0m", "0m"},
      {kInf, "166666h 39m", "166666h40", "166666h39"},
      {1e300, "166666h 39m", "166666h40", "166666h39"}};
  for (const auto& [minutes, format, steady, compact] : cases) {
    EXPECT_EQ(TimeLeft::format(minutes), format) << minutes;
    EXPECT_EQ(TimeLeft::compact(minutes, true), steady) << minutes;
    EXPECT_EQ(TimeLeft::compact(minutes, false), compact) << minutes;
  }
  EXPECT_FALSE(TimeLeft::format(-kInf).empty());
}

}  // namespace
}  // namespace ebbwise

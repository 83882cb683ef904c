#include "display_rules/power_format.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/time_left.h"

namespace ebbwise {
namespace {

TEST(PowerFormatTest, FormatsFiguresInEitherUnit) {
  constexpr auto W = PowerUnit::watts;
  constexpr auto P = PowerUnit::percentPerHour;
  // watts, unit, full Wh, signed, decimals, tight → text
  const std::tuple<double, PowerUnit, double, bool, int, bool, std::string> cases[] = {
      {-0.04, W, 50, true, 1, false, "0.0 W"},
      {-0.0, W, 50, true, 1, false, "0.0 W"},
      {-3.46, W, 50, false, 1, false, "\u22123.5 W"},
      {3.46, W, 50, true, 0, true, "+3W"},
      {0.4, W, 50, true, 0, false, "0 W"},
      {5, P, 50, true, 0, true, "+10%/h"},
      {5, P, 0, true, 0, true, "0%/h"},
      {5, P, NAN, false, 1, false, "0.0 %/h"},
      // Broken figures still give a short text.
      {NAN, W, 50, true, 1, false, "0.0 W"},
      {INFINITY, W, 50, true, 1, false, "+999999.0 W"},
      {-1e300, W, 50, false, 0, false, "\u2212999999 W"},
      {10, P, 1e-300, false, 0, true, "999999%/h"},
      {1.5, W, 50, false, -3, false, "2 W"},
      {1.5, W, 50, false, 400, false, "1.500000 W"}};
  for (const auto& [watts, unit, fullWh, isSigned, decimals, tight, text] : cases) {
    EXPECT_EQ(PowerFormat::string(watts, unit, fullWh, isSigned, decimals, tight), text) << watts;
  }
  const std::pair<double, std::string> net[] = {
      {0.04, "0 W"},     {-0.049, "0 W"}, {0.05, "+0.1 W"},         {-3.46, "\u22123.5 W"},
      {12.0, "+12.0 W"}, {NAN, "0 W"},    {INFINITY, "+999999.0 W"}};
  for (const auto& [watts, text] : net) EXPECT_EQ(NetPower::label(watts), text) << watts;
}

TEST(TimeLeftTest, TextsRoundToWholeMinutes) {
  // minutes → format, compact steady, compact
  const std::tuple<double, std::string, std::string, std::string> cases[] = {
      {59.4, "59m", "59m", "59m"},
      {59.5, "1h 00m", "1h00", "1h00"},  // halves round away from zero
      {62, "1h 02m", "1h00", "1h02"},
      {63, "1h 03m", "1h05", "1h03"},
      {0.4, "0m", "0m", "0m"},
      {-0.4, "0m", "0m", "0m"},  // no "-0m"
      {-0.0, "0m", "0m", "0m"},
      {1439.7, "24h 00m", "24h00", "24h00"},
      // Negative counts carry the minus sign of every figure, before the
      // whole duration.
      {-0.5, "\u22121m", "\u22121m", "\u22121m"},
      {-45, "\u221245m", "\u221245m", "\u221245m"},
      {-62, "\u22121h 02m", "\u22121h00", "\u22121h02"},
      {-63, "\u22121h 03m", "\u22121h05", "\u22121h03"},
      // Broken counts still give a text: NaN as 0, enormous ones held at a
      // bound of about 19 years.
      {NAN, "0m", "0m", "0m"},
      {INFINITY, "166666h 39m", "166666h40", "166666h39"},
      {1e300, "166666h 39m", "166666h40", "166666h39"}};
  for (const auto& [minutes, format, steady, compact] : cases) {
    EXPECT_EQ(TimeLeft::format(minutes), format) << minutes;
    EXPECT_EQ(TimeLeft::compact(minutes, true), steady) << minutes;
    EXPECT_EQ(TimeLeft::compact(minutes, false), compact) << minutes;
  }
  EXPECT_EQ(TimeLeft::format(-INFINITY), "\u2212166666h 39m");
  EXPECT_EQ(TimeLeft::minutesToEmpty(NAN, 10), std::nullopt);
}

}  // namespace
}  // namespace ebbwise

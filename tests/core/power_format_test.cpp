#include "core/power_format.h"

#include <gtest/gtest.h>

#include <limits>

namespace ebbwise {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(PowerFormatTest, FormatsFiguresInEitherUnit) {
  struct Case {
    double watts;
    PowerUnit unit;
    double fullWh;
    bool isSigned;
    int decimals;
    bool tight;
    std::string text;
  };
  constexpr auto W = PowerUnit::watts;
  constexpr auto P = PowerUnit::percentPerHour;
  const Case cases[] = {{12.34, W, 50, false, 1, false, "12.3 W"},
                        {-0.04, W, 50, true, 1, false, "0.0 W"},
                        {-0.0, W, 50, true, 1, false, "0.0 W"},
                        {-3.46, W, 50, false, 1, false, "\u22123.5 W"},
                        {3.46, W, 50, true, 0, true, "+3W"},
                        {0.4, W, 50, true, 0, false, "0 W"},
                        {5, P, 50, true, 0, true, "+10%/h"},
                        {-5, P, 50, true, 1, false, "\u221210.0 %/h"},
                        {5, P, 0, true, 0, true, "0%/h"},
                        {5, P, kNaN, false, 1, false, "0.0 %/h"},
                        // Broken figures still give a short text.
                        {kNaN, W, 50, true, 1, false, "0.0 W"},
                        {kInf, W, 50, true, 1, false, "+999999.0 W"},
                        {-1e300, W, 50, false, 0, false, "\u2212999999 W"},
                        {10, P, 1e-300, false, 0, true, "999999%/h"},
                        {1.5, W, 50, false, -3, false, "2 W"},
                        {1.5, W, 50, false, 400, false, "1.500000 W"}};
  for (const auto& c : cases) {
    EXPECT_EQ(PowerFormat::string(c.watts, c.unit, c.fullWh, c.isSigned, c.decimals, c.tight),
              c.text)
        << c.watts;
  }
}

TEST(NetPowerTest, SignedWattsWithOneDecimal) {
  const std::pair<double, std::string> cases[] = {
      {0.04, "0 W"},     {-0.049, "0 W"}, {0.05, "+0.1 W"},     {-3.46, "\u22123.5 W"},
      {12.0, "+12.0 W"}, {kNaN, "0 W"},   {kInf, "+999999.0 W"}};
  for (const auto& [watts, text] : cases) EXPECT_EQ(NetPower::label(watts), text) << watts;
}

}  // namespace
}  // namespace ebbwise

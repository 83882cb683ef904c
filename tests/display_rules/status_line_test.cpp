#include "display_rules/status_line.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ebbwise {
namespace {

TEST(StatusLine, SaysWhereThePowerComesFromAndWhatItMeans) {
  struct Case {
    bool hasBattery, onAC, charging;
    std::optional<double> left, toFull;
    const char* text;
  };
  const double nan = std::nan("");
  const Case cases[] = {
      {false, false, false, 200, {}, "No battery found"},
      {true, false, false, 200, {}, "On battery, about 3h 20m left"},
      {true, false, false, 45, 30, "On battery, about 45m left"},
      {true, false, false, {}, {}, "On battery"},
      {true, false, false, nan, {}, "On battery"},
      {true, false, false, -5, {}, "On battery"},
      {true, true, true, 200, 65, "Charging, full in 1h 05m"},
      {true, true, true, {}, {}, "Charging"},
      {true, true, true, {}, INFINITY, "Charging"},
      {true, true, false, {}, 65, "Plugged in"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StatusLine::text(c.hasBattery, c.onAC, c.charging, c.left, c.toFull), c.text);
  }
}

}  // namespace
}  // namespace ebbwise

#include "sys/duration_text.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

namespace ebbwise::sys {
namespace {

TEST(DurationText, ReadsTheFormsPeopleType) {
  // Plain seconds, units largest first, fractions, clock readings.
  const std::pair<const char*, double> durations[] = {
      {"90", 90},        {"0.5", 0.5},       {"30s", 30},     {"15m", 900},      {"1.5h", 5400},
      {"1h30m", 5400},   {"1h20m05s", 4805}, {"1d", 86400},   {"2d12h", 216000}, {"1d30s", 86430},
      {"1:30:00", 5400}, {"45:00", 2700},    {" 2h\t", 7200}, {"-10m", -600}};
  for (const auto& [text, seconds] : durations)
    EXPECT_EQ(DurationText::parse(text), seconds) << text;
  // Anything else is no duration.
  for (const char* text :
       {"",   "-",   "h",      "1h30", "30m1h", "1h1h", "5 m", "1e3",     "nan", "inf",
        "1.", ".5h", "1.5.2m", "1w",   "+5m",   "1:60", "1:5", "1:2:3:4", ":30", "30:"}) {
    EXPECT_EQ(DurationText::parse(text), std::nullopt) << text;
  }
  EXPECT_EQ(DurationText::parse(std::string(400, '9') + "d"), std::nullopt) << "huge, not infinite";
}

TEST(DurationText, FormatsInTheUnitsItReads) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  const std::pair<double, const char*> cases[] = {
      {0, "0s"},     {0.4, "0s"},       {45, "45s"},      {5400, "1h30m"},
      {86400, "1d"}, {216000, "2d12h"}, {86430, "1d30s"}, {-600, "-10m"},
      {59.6, "1m"},  {3600, "1h"},      {nan, "?"}};
  for (const auto& [seconds, text] : cases)
    EXPECT_EQ(DurationText::format(seconds), text) << seconds;

  // What it writes, it reads back.
  for (double seconds : {1.0, 61.0, 3599.0, 90061.0, 31'622'400.0}) {
    EXPECT_EQ(DurationText::parse(DurationText::format(seconds)), seconds);
  }
  // Beyond what a count of seconds can hold it still writes something.
  EXPECT_FALSE(DurationText::format(1e300).empty());
}

}  // namespace
}  // namespace ebbwise::sys

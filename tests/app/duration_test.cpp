#include "app/duration.h"

#include <gtest/gtest.h>

namespace ebbwise {
namespace {

TEST(DurationTest, ReadsWhatScenarioFilesWriteUpToAYear) {
  struct Case {
    const char* text;
    std::optional<double> seconds;
  };
  const Case cases[] = {
      {"90", 90},      {"30s", 30},   {"15m", 900},       {"1.5h", 5400}, {" 2h ", 7200},
      {"0.5", 0.5},    {"", {}},      {"h", {}},          {"-5m", {}},    {"+5m", {}},
      {"0", {}},       {"0h", {}},    {"5 m", {}},        {"5d", 432000}, {"1e3", {}},
      {"nan", {}},     {"inf", {}},   {"9999h", {}},      {"5mm", {}},    {"1.5.2m", {}},
      {"1h30m", 5400}, {"1d", 86400}, {"366d", 31622400}, {"367d", {}},   {"-0", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(parseDuration(c.text), c.seconds) << "'" << c.text << "'";
}

}  // namespace
}  // namespace ebbwise

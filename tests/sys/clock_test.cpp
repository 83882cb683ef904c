#include "sys/clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

#include "sys/value.h"

namespace ebbwise::sys {
namespace {

constexpr auto u64max = std::numeric_limits<std::uint64_t>::max();

TEST(ClockTest, ManualClockTicksFollowItsTimebaseAndIgnoreWallClockChanges) {
  // 125/3 ns per tick, as on Apple silicon: 24 000 000 ticks per second.
  ManualClock clock(Date{1'704'067'200.0}, Timebase{125, 3}, 10.0);
  EXPECT_EQ(clock.now().secondsSinceReferenceDate(), 725'760'000.0);  // 2024-01-01 UTC
  clock.advance(5);
  clock.set(Date{0});  // even backwards
  EXPECT_EQ(clock.monotonicTicks(), 360'000'000u);
}

TEST(ClockTest, TickConversionSaturates) {
  const std::pair<double, std::uint64_t> cases[] = {
      {-5, 0}, {std::nan(""), 0}, {1e300, u64max}, {INFINITY, u64max}};
  for (auto [seconds, ticks] : cases) EXPECT_EQ((Timebase{125, 3}.secondsToTicks(seconds)), ticks);
}

// Readers trust these conversions with whatever a registry or a stored file
// holds: a wrong type, a non-finite number or one outside the range is absent.
TEST(ValueTest, ConversionsAnswerOnlyForTheRightTypeAndRange) {
  Value d = {{"float", -1.5},   {"flag", true},     {"nan", std::nan("")},
             {"inf", INFINITY}, {"u64max", u64max}, {"twoTo63", 9223372036854775808.0}};
  EXPECT_EQ(asInteger(member(d, "float")), -1);
  EXPECT_EQ(asUnsigned(member(d, "u64max")), u64max);
  for (const char* key : {"flag", "nan", "inf", "missing"}) {
    EXPECT_EQ(asNumber(member(d, key)), std::nullopt) << key;
  }
  for (const char* key : {"nan", "u64max", "twoTo63"}) {
    EXPECT_EQ(asInteger(member(d, key)), std::nullopt) << key;
  }
  EXPECT_EQ(asUnsigned(member(d, "float")), std::nullopt);
  // Integers beyond 64 bits arrive from a parser as floats.
  EXPECT_EQ(asUnsigned(member(Value::parse(R"({"big": 123456789012345678901234567890})"), "big")),
            std::nullopt);
}

}  // namespace
}  // namespace ebbwise::sys

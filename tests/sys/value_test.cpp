#include "sys/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ebbwise::sys {
namespace {

TEST(ValueTest, NumbersCountOnlyWhenTheyAreNumbers) {
  Value d = {{"int", 42}, {"float", 1.5}, {"text", "42"}, {"flag", true}, {"neg", -3}};
  EXPECT_EQ(asNumber(member(d, "int")), 42.0);
  EXPECT_EQ(asNumber(member(d, "float")), 1.5);
  EXPECT_EQ(asNumber(member(d, "text")), std::nullopt);
  EXPECT_EQ(asNumber(member(d, "flag")), std::nullopt);
  EXPECT_EQ(asNumber(member(d, "missing")), std::nullopt);
  EXPECT_EQ(asInteger(member(d, "float")), 1);
  EXPECT_EQ(asInteger(member(d, "neg")), -3);
  EXPECT_EQ(asUnsigned(member(d, "neg")), std::nullopt);
  EXPECT_EQ(asBool(member(d, "flag")), true);
  EXPECT_EQ(asBool(member(d, "int")), std::nullopt);
  EXPECT_EQ(asString(member(d, "text")), "42");
  EXPECT_EQ(member(Value::array({1, 2}), "x"), nullptr);
}

TEST(ValueTest, OutOfRangeAndNonFiniteNumbersAreAbsent) {
  Value d = {{"nan", std::nan("")},
             {"inf", std::numeric_limits<double>::infinity()},
             {"huge", 1e300},
             {"u64max", std::numeric_limits<std::uint64_t>::max()},
             {"twoTo63", 9223372036854775808.0}};
  EXPECT_EQ(asNumber(member(d, "nan")), std::nullopt);
  EXPECT_EQ(asNumber(member(d, "inf")), std::nullopt);
  EXPECT_EQ(asInteger(member(d, "nan")), std::nullopt);
  EXPECT_EQ(asInteger(member(d, "huge")), std::nullopt);
  EXPECT_EQ(asInteger(member(d, "u64max")), std::nullopt);
  EXPECT_EQ(asInteger(member(d, "twoTo63")), std::nullopt);
  EXPECT_EQ(asUnsigned(member(d, "u64max")), std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(asUnsigned(member(d, "huge")), std::nullopt);
  // Integers beyond 64 bits arrive from a parser as floats.
  Value parsed = Value::parse(R"({"big": 123456789012345678901234567890})");
  EXPECT_EQ(asInteger(member(parsed, "big")), std::nullopt);
}

}  // namespace
}  // namespace ebbwise::sys

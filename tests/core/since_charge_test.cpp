#include "core/since_charge.h"

#include <gtest/gtest.h>

#include <limits>

namespace ebbwise {
namespace {

using sys::Date;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const Date kStart = Date::fromSecondsSinceReferenceDate(700'000'000);

TEST(SinceChargeTest, ReadingsAddEnergyOnlyAcrossShortForwardGaps) {
  SinceCharge first(kStart);
  first.add({{"A", 5}}, kStart + 5, 15);
  EXPECT_TRUE(first.joules.empty());
  EXPECT_EQ(first.lastAdd, kStart + 5);

  // second reading after (s), max gap (s) → joules of a 2 W row
  const std::array<double, 3> cases[] = {
      {10, 15, 20}, {15, 15, 30}, {10, 5, 0}, {0, 15, 0}, {-4, 15, 0}};
  for (auto [after, maxGap, joules] : cases) {
    SinceCharge ledger(kStart);
    ledger.add({{"A", 2}}, kStart, maxGap);
    ledger.add({{"A", 2}}, kStart + after, maxGap);
    EXPECT_EQ(ledger.joules.contains("A"), joules > 0) << after;
    EXPECT_DOUBLE_EQ(ledger.total(), joules) << after;
    EXPECT_EQ(ledger.lastAdd, kStart + after);
  }
}

TEST(SinceChargeTest, OnlyPositiveFiniteRowsAddAndAssistantRowsShareOneEntry) {
  SinceCharge ledger(kStart);
  std::unordered_map<std::string, double> watts = {
      {"Claude", 1},
      {"Claude Code (api)", 2},
      {"Claude Code (web)", 0.5},
      {"Idle", 0},
      {"Odd", -3},
      {"Broken", kNaN},
      {"Wild", std::numeric_limits<double>::infinity()}};
  ledger.add(watts, kStart, 15);
  ledger.add(watts, kStart + 10, 15);
  EXPECT_EQ(ledger.joules, (std::map<std::string, double>{{"Claude", 35}}));
  // A broken reading time would be stored as null; it is ignored instead.
  ledger.add(watts, Date{kNaN}, 15);
  EXPECT_EQ(ledger.lastAdd, kStart + 10);
}

TEST(SinceChargeTest, SameSessionWithinFiveMinutes) {
  SinceCharge ledger(kStart);
  EXPECT_TRUE(ledger.isSameSession(kStart - 299));
  EXPECT_FALSE(ledger.isSameSession(kStart + 300));
}

TEST(SinceChargeTest, BarsKeepTheLargestAndFoldTheRest) {
  using Bars = std::vector<SinceCharge::Bar>;
  SinceCharge ledger(kStart);
  ledger.joules = {{"A", 100}, {"B", 80}, {"C", 60}, {"D", 40}, {"E", 30}, {"F", 20}, {"G", 1}};
  EXPECT_EQ(ledger.bars(5, 10),
            (Bars{{"A", 100}, {"B", 80}, {"C", 60}, {"Everything else", 51}, {"D", 40}}));
  // The rest is only shown when it is as large as a shown row must be.
  ledger.joules = {{"A", 100}, {"B", 5}};
  EXPECT_EQ(ledger.bars(5, 10), (Bars{{"A", 100}}));
  EXPECT_EQ(ledger.bars(1, 10), (Bars{{"Everything else", 105}}));
  // A limit of 0 behaves as 1 rather than listing every row.
  EXPECT_EQ(ledger.bars(0, 10), ledger.bars(1, 10));
}

TEST(SinceChargeJSONTest, RoundTripsWithReferenceDateSeconds) {
  SinceCharge ledger(kStart);
  ledger.joules = {{"A", 12.5}, {"B", 3}};
  ledger.lastAdd = kStart + 42.25;
  EXPECT_EQ(ledger.toJSON(), sys::Value::parse(R"({"start":700000000,"joules":{"A":12.5,"B":3},
                                                   "lastAdd":700000042.25})"));
  EXPECT_EQ(SinceCharge::fromJSONText(ledger.toJSONText()), ledger);
  SinceCharge fresh(kStart);
  EXPECT_EQ(fresh.toJSONText(), R"({"joules":{},"start":700000000.0})");
  EXPECT_EQ(SinceCharge::fromJSON(fresh.toJSON()), fresh);
  // Row names come from process paths and need not be UTF-8; they still store.
  ledger.joules = {{"bad\xff name", 4}};
  auto restored = SinceCharge::fromJSONText(ledger.toJSONText());
  ASSERT_TRUE(restored);
  EXPECT_DOUBLE_EQ(restored->total(), 4);
}

TEST(SinceChargeJSONTest, DamagedDocumentsDecodeAsNothing) {
  for (const char* text :
       {"", "null", "[1, 2]", R"({"start": 1, "joules": {"A": 1})", R"({"joules": {"A": 1}})",
        R"({"start": 1})", R"({"start": "1", "joules": {}})", R"({"start": 1, "joules": []})",
        R"({"start": 1, "joules": {"A": "1"}})", R"({"start": 1, "joules": {"A": null}})",
        R"({"start": 1, "joules": {}, "lastAdd": "yesterday"})",
        R"({"start": 1e999, "joules": {}})"}) {
    EXPECT_EQ(SinceCharge::fromJSONText(text), std::nullopt) << text;
  }
  auto lenient =
      SinceCharge::fromJSONText(R"({"start": 5, "joules": {}, "lastAdd": null, "x": 1})");
  ASSERT_TRUE(lenient);
  EXPECT_EQ(lenient->start, Date::fromSecondsSinceReferenceDate(5));
  EXPECT_EQ(lenient->lastAdd, std::nullopt);
}

}  // namespace
}  // namespace ebbwise

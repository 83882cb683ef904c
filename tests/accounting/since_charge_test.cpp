#include "accounting/since_charge.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ebbwise {
namespace {

using sys::Date;

const Date kStart = Date::fromSecondsSinceReferenceDate(700'000'000);

TEST(SinceChargeTest, OnlyShortForwardGapsAndPositiveFiniteRowsAddEnergy) {
  // second reading after (s), max gap (s) → joules of a 2 W row; the first adds nothing
  const std::array<double, 3> cases[] = {{10, 15, 20}, {15, 15, 30}, {10, 5, 0}, {-4, 15, 0}};
  for (auto [after, maxGap, joules] : cases) {
    SinceCharge ledger(kStart);
    ledger.add({{"A", 2}}, kStart, maxGap);
    ledger.add({{"A", 2}}, kStart + after, maxGap);
    EXPECT_EQ(ledger.joules.contains("A"), joules > 0) << after;
    EXPECT_DOUBLE_EQ(ledger.total(), joules) << after;
  }
  // Assistant rows share one entry.
  SinceCharge ledger(kStart);
  const std::unordered_map<std::string, double> watts = {
      {"Claude", 1}, {"Claude Code (api)", 2}, {"Claude Code (web)", 0.5}, {"Idle", 0},
      {"Odd", -3},   {"Broken", NAN},          {"Wild", INFINITY}};
  ledger.add(watts, kStart, 15);
  ledger.add(watts, kStart + 10, 15);
  EXPECT_EQ(ledger.joules, (std::map<std::string, double>{{"Claude", 35}}));
  // A broken reading time would be stored as null; it is ignored instead.
  ledger.add(watts, Date{NAN}, 15);
  EXPECT_EQ(ledger.lastAdd, kStart + 10);
}

TEST(SinceChargeTest, BarsKeepTheLargestAndFoldTheRest) {
  using Bars = std::vector<SinceCharge::Bar>;
  SinceCharge ledger(kStart);
  ledger.joules = {{"A", 100}, {"B", 80}, {"C", 60}, {"D", 40}, {"E", 30}, {"F", 20}, {"G", 1}};
  EXPECT_EQ(ledger.bars(5, 10),
            (Bars{{"A", 100}, {"B", 80}, {"C", 60}, {"Everything else", 51}, {"D", 40}}));
  // The rest is only shown when it is as large as a shown row must be; a
  // limit of 0 behaves as 1 rather than listing every row.
  ledger.joules = {{"A", 100}, {"B", 5}};
  EXPECT_EQ(ledger.bars(5, 10), (Bars{{"A", 100}}));
  EXPECT_EQ(ledger.bars(0, 10), (Bars{{"Everything else", 105}}));
}

TEST(SinceChargeJSONTest, RoundTripsWithReferenceDateSecondsAndRejectsDamage) {
  SinceCharge ledger(kStart);
  EXPECT_EQ(ledger.toJSONText(), R"({"joules":{},"start":700000000.0})");
  ledger.joules = {{"A", 12.5}};
  ledger.lastAdd = kStart + 42.25;
  EXPECT_EQ(ledger.toJSON(),
            sys::Value::parse(R"({"start":700000000,"joules":{"A":12.5},"lastAdd":700000042.25})"));
  EXPECT_EQ(SinceCharge::fromJSONText(ledger.toJSONText()), ledger);
  ledger.joules["bad\xff name"] = 3;  // names from process paths need not be UTF-8
  EXPECT_DOUBLE_EQ(SinceCharge::fromJSONText(ledger.toJSONText())->total(), 15.5);
  auto lenient =
      SinceCharge::fromJSONText(R"({"start": 5, "joules": {}, "lastAdd": null, "x": 1})");
  EXPECT_EQ(lenient, SinceCharge(Date::fromSecondsSinceReferenceDate(5)));
  for (const char* text :
       {"", "null", "[1, 2]", R"({"start": 1, "joules": {"A": 1})", R"({"joules": {"A": 1}})",
        R"({"start": 1})", R"({"start": "1", "joules": {}})", R"({"start": 1, "joules": []})",
        R"({"start": 1, "joules": {"A": "1"}})", R"({"start": 1, "joules": {"A": null}})",
        R"({"start": 1, "joules": {}, "lastAdd": "yesterday"})",
        R"({"start": 1e999, "joules": {}})"}) {
    EXPECT_EQ(SinceCharge::fromJSONText(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace ebbwise

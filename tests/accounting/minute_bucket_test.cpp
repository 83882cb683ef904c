#include "accounting/minute_bucket.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/history_test_support.h"

namespace ebbwise {
namespace {

using test::reading;

constexpr double kStart = 1'731'402'000;  // a real date: large times, small steps

struct Fed {
  MinuteBucket bucket;
  std::vector<HistoryRecord> records;

  void add(double ts, double dt, bool onAC = false, double joules = 1) {
    if (auto record = bucket.add(ts, dt, reading(onAC, 50, onAC ? 20 : -10), {{"A", joules}})) {
      records.push_back(*record);
    }
  }
};

// Twelve 5-second ticks make a minute: a day is 1440 records, each of 60 s,
// and every tick lands in exactly one of them.
TEST(MinuteBucketTest, ARecordHoldsTwelveTicksAndADayHasAMinuteARow) {
  Fed fed;
  for (int i = 1; i <= 17'280; ++i) fed.add(kStart + 5.0 * i, 5);
  EXPECT_FALSE(fed.bucket.flush()) << "the day's last tick closed its minute";
  ASSERT_EQ(fed.records.size(), 1440u);
  for (std::size_t k = 0; k < fed.records.size(); ++k) {
    const HistoryRecord& r = fed.records[k];
    ASSERT_EQ(r.ts, kStart + 60.0 * double(k + 1)) << k;
    ASSERT_EQ(r.dt, 60) << k;
    ASSERT_EQ(r.appJoules.at("A"), 12) << k;
    ASSERT_EQ(r.watts, -10) << k;
  }

  // Ticks a little late each still make records of at least a minute.
  Fed late;
  for (int i = 1; i <= 24; ++i) late.add(kStart + 5.5 * i, 5.5);
  ASSERT_EQ(late.records.size(), 2u);
  EXPECT_DOUBLE_EQ(late.records[0].dt, 60.5);
  EXPECT_DOUBLE_EQ(late.records[1].dt, 60.5);
  EXPECT_EQ(late.bucket.flush()->appJoules.at("A"), 2);
}

// The tick of a plug or unplug, or the first tick after a gap, opens the next
// record: the one before it closes without it.
TEST(MinuteBucketTest, APowerSourceChangeOrAGapClosesTheRecordBeforeTheTick) {
  Fed fed;
  for (int s = 5; s <= 30; s += 5) fed.add(kStart + s, 5);
  fed.add(kStart + 35, 5, true);
  ASSERT_EQ(fed.records.size(), 1u);
  EXPECT_EQ(fed.records[0], (HistoryRecord{kStart + 30, 30, 50, -10, false, {{"A", 6}}}));
  for (int s = 40; s <= 90; s += 5) fed.add(kStart + s, 5, true);
  ASSERT_EQ(fed.records.size(), 2u);
  EXPECT_EQ(fed.records[1], (HistoryRecord{kStart + 90, 60, 50, 20, true, {{"A", 12}}}));

  fed.add(kStart + 95, 5, true);
  fed.add(kStart + 500, 5, true);  // the ticks between were not accounted
  ASSERT_EQ(fed.records.size(), 3u);
  EXPECT_EQ(fed.records[2], (HistoryRecord{kStart + 95, 5, 50, 20, true, {{"A", 1}}}));
  EXPECT_EQ(fed.bucket.startTs, kStart + 495);
  EXPECT_EQ(fed.bucket.flush(), (HistoryRecord{kStart + 500, 5, 50, 20, true, {{"A", 1}}}));
}

}  // namespace
}  // namespace ebbwise

// The since-charge ledger as the monitor keeps it: continued across a
// restart within the same stretch on battery, replaced otherwise, and
// stored rarely.

#include <gtest/gtest.h>

#include "app/since_charge_recorder.h"
#include "sys/in_memory_user_defaults.h"

namespace ebbwise {
namespace {

const sys::Date kUnplug{1'700'000'000};
// A tick's split (Safari 4 W, the screen 2 W) and Safari's own figure.
const std::vector<RowWatts> kSplit{{AppShare{"Safari", 0.6}, 4}, {AppShare{"Screen", 0.3}, 2}};
const EnergySplit::WattsByName kApps{{"Safari", 4}};

Session sessionFrom(sys::Date start) {
  Session s;
  s.start = start;
  return s;
}

struct Store {
  sys::InMemoryUserDefaults defaults;
  DefaultsWriter writer{defaults};

  std::optional<SinceCharge> stored() {
    auto value = defaults.object(SinceChargeRecorder::kKey);
    return value ? SinceCharge::fromJSON(*value) : std::nullopt;
  }
};

TEST(SinceChargeRecorderTest, IntegratesRowWattsAndStoresAtMostOnceAMinute) {
  Store store;
  SinceChargeRecorder recorder;
  const Session session = sessionFrom(kUnplug);
  recorder.record(false, session, kSplit, kApps, kUnplug + 5, store.writer);
  ASSERT_TRUE(recorder.ledger);
  EXPECT_TRUE(recorder.ledger->joules.empty()) << "the first reading only starts the clock";
  recorder.record(false, session, kSplit, kApps, kUnplug + 10, store.writer);
  EXPECT_DOUBLE_EQ(recorder.ledger->joules.at("Safari"), 20);
  EXPECT_DOUBLE_EQ(recorder.ledger->joules.at("Screen"), 10);

  // Written at the first tick, then not again within the minute.
  const std::uint64_t writes = store.writer.writes();
  for (int t = 15; t <= 65; t += 5)
    recorder.record(false, session, kSplit, kApps, kUnplug + t, store.writer);
  EXPECT_EQ(store.writer.writes(), writes);
  recorder.record(false, session, kSplit, kApps, kUnplug + 70, store.writer);
  EXPECT_EQ(store.writer.writes(), writes + 1);
  ASSERT_TRUE(store.stored());
  EXPECT_EQ(*store.stored(), *recorder.ledger);

  // A gap longer than 15 s (asleep) adds nothing.
  const double before = recorder.ledger->total();
  recorder.record(false, session, kSplit, kApps, kUnplug + 170, store.writer);
  EXPECT_EQ(recorder.ledger->total(), before);
}

TEST(SinceChargeRecorderTest, ARestartInTheSameStretchContinuesTheStoredLedger) {
  Store store;
  {
    SinceChargeRecorder first;
    for (int t = 0; t <= 65; t += 5) {
      first.record(false, sessionFrom(kUnplug), kSplit, kApps, kUnplug + t, store.writer);
    }
  }
  const std::optional<SinceCharge> stored = store.stored();
  ASSERT_TRUE(stored);
  ASSERT_GT(stored->total(), 0);

  // Two minutes later the tracker restores the session, its start a few
  // seconds off the stored one.
  SinceChargeRecorder second;
  const Session restored = sessionFrom(kUnplug + 3);
  second.record(false, restored, kSplit, kApps, kUnplug + 180, store.writer);
  ASSERT_TRUE(second.ledger);
  EXPECT_EQ(second.ledger->joules, stored->joules) << "nothing bridged over the stop";
  second.record(false, restored, kSplit, kApps, kUnplug + 185, store.writer);
  EXPECT_DOUBLE_EQ(second.ledger->total(), stored->total() + 6 * 5);
  // The ledger keeps to the session it was adopted by, tick after tick.
  second.record(false, restored, kSplit, kApps, kUnplug + 190, store.writer);
  EXPECT_DOUBLE_EQ(second.ledger->total(), stored->total() + 6 * 10);
}

TEST(SinceChargeRecorderTest, AnotherStretchOrADamagedRecordBeginsANewLedger) {
  struct Case {
    const char* name;
    sys::Value stored;
  };
  SinceCharge old(kUnplug - 600);
  old.joules["Safari"] = 5000;
  for (const Case& c :
       {Case{"ten minutes away", old.toJSON()}, Case{"not a ledger", sys::Value("joules")},
        Case{"a row that is no number", {{"start", 0}, {"joules", {{"A", "x"}}}}}}) {
    SCOPED_TRACE(c.name);
    Store store;
    store.defaults.setObject(SinceChargeRecorder::kKey, c.stored);
    SinceChargeRecorder recorder;
    recorder.record(false, sessionFrom(kUnplug), kSplit, kApps, kUnplug + 5, store.writer);
    ASSERT_TRUE(recorder.ledger);
    EXPECT_EQ(recorder.ledger->start, kUnplug);
    EXPECT_TRUE(recorder.ledger->joules.empty());
    EXPECT_EQ(store.stored()->start, kUnplug) << "the new ledger replaces the stored one";
  }
}

// The split fits its rows to the measured drain and folds small apps into
// "Other apps"; the ledger counts each app as the session does.
TEST(SinceChargeRecorderTest, AppsCountAtTheirOwnPowerAndKeepTheirEntry) {
  SinceCharge ledger(kUnplug);
  ledger.joules["Render"] = 9000;
  const std::vector<RowWatts> split{{AppShare{"Editor", 0.5}, 4.5},
                                    {AppShare{"Other apps", 0.1}, 0.2},
                                    {AppShare{"Screen", 0.3}, 2}};
  const EnergySplit::WattsByName apps{
      {"Editor", 5}, {"Render", 0.05}, {"Notes", 0.08}, {"Claude Code (shop)", 0.02}};
  const std::map<std::string, double> rows = SinceChargeRecorder::tickRows(ledger, split, apps);
  const std::map<std::string, double> expected{
      {"Editor", 5}, {"Render", 0.05}, {"Other apps", 0.1}, {"Screen", 2}};
  ASSERT_EQ(rows.size(), expected.size());
  for (const auto& [name, watts] : expected) EXPECT_NEAR(rows.at(name), watts, 1e-12) << name;

  // A coding-agent session counts under the assistant's shared entry.
  ledger.joules["Claude"] = 10;
  EXPECT_NEAR(SinceChargeRecorder::tickRows(ledger, split, apps).at("Claude Code (shop)"), 0.02,
              1e-12);
}

TEST(SinceChargeRecorderTest, OnTheChargerTheLedgerIsDroppedButTheStoredCopyKept) {
  Store store;
  SinceChargeRecorder recorder;
  for (int t = 0; t <= 10; t += 5) {
    recorder.record(false, sessionFrom(kUnplug), kSplit, kApps, kUnplug + t, store.writer);
  }
  const std::optional<SinceCharge> stored = store.stored();
  recorder.record(true, sessionFrom(kUnplug), kSplit, kApps, kUnplug + 15, store.writer);
  EXPECT_FALSE(recorder.ledger);
  recorder.record(false, std::nullopt, kSplit, kApps, kUnplug + 20, store.writer);
  EXPECT_FALSE(recorder.ledger) << "no session, no ledger";
  EXPECT_EQ(store.stored(), stored);
}

}  // namespace
}  // namespace ebbwise

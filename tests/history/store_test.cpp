#include "history/store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/history_test_support.h"

namespace ebbwise {
namespace {

using test::RawDatabase;
using test::TempFolder;
using Joules = std::map<std::string, double>;

HistoryRecord minute(double ts, double watts, bool onAC,
                     std::unordered_map<std::string, double> apps = {}) {
  return HistoryRecord{ts, 60, ts / 10, watts, onAC, std::move(apps)};
}

TEST(Store, UnusableLocationsMakeAStoreThatDoesNothingAndTouchesNothing) {
  TempFolder folder;
  const std::string garbage(5000, 'x');
  std::ofstream(folder.file("garbage.sqlite"), std::ios::binary) << garbage;
  std::ofstream(folder.file("plain-file")) << "not a folder";
  std::filesystem::create_directories(folder.file("folder.sqlite"));
  for (const std::string& path : {folder.file("garbage.sqlite"), folder.file("folder.sqlite"),
                                  folder.file("plain-file/joulemark/history.sqlite")}) {
    {
      Store store(path);
      EXPECT_FALSE(store.isOpen()) << path;
      store.write(minute(100, -5, false, {{"App", 3}}));
      EXPECT_FALSE(store.lastRecord());
    }
    EXPECT_FALSE(std::filesystem::exists(path + "-wal")) << path;
  }
  std::ifstream in(folder.file("garbage.sqlite"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), garbage);
}

TEST(Store, QueriesCountOnlyBatteryMinutesAfterTheCutoffAndSkipNullRows) {
  TempFolder folder;
  const std::string path = folder.file("history.sqlite");
  Store store(path);
  EXPECT_FALSE(store.lastPluggedIn());  // no on-AC row: MAX is NULL
  store.write(minute(100, -6, false, {{"A", 10}, {"B", 5}, {"Idle", 0}, {"Odd", -1}}));
  store.write(minute(160, 3, false, {{"A", 1}}));  // the pack gained charge on battery
  store.write(minute(220, 30, true, {{"A", 100}, {"C", 7}}));
  store.write(minute(280, -4, false, {{"B", 2}}));
  store.rememberBundle("A", "/old/A.app");
  store.rememberBundle("A", "/Applications/A.app");
  // A NULL name (only a hand-edited file holds one) names no row: skipped,
  // and reading goes on with the rest.
  RawDatabase raw(path);
  ASSERT_EQ(raw.exec("INSERT INTO app_energy VALUES(100, NULL, 4);"
                     "INSERT INTO app_meta VALUES(NULL, '/x.app'), ('B', NULL);"),
            SQLITE_OK);
  EXPECT_EQ(raw.text("PRAGMA journal_mode"), "wal");
  EXPECT_DOUBLE_EQ(store.drainedJoules(100), 4 * 60);  // strictly after, draining minutes only
  EXPECT_DOUBLE_EQ(store.secondsOnBattery(0), 180);
  EXPECT_EQ(store.appJoulesOnBattery(0), (Joules{{"A", 11}, {"B", 7}}));
  EXPECT_EQ(store.bundlePaths(),
            (std::map<std::string, std::string>{{"A", "/Applications/A.app"}}));
  EXPECT_EQ(store.batteryPoints(200),
            (std::vector<BatteryPoint>{{sys::Date{220}, 22, true}, {sys::Date{280}, 28, false}}));
  store.deleteOlderThan(220);  // a row at the cutoff stays
  EXPECT_EQ(store.batteryPoints(0).front().date, sys::Date{220});
  EXPECT_EQ(store.appJoulesOnBattery(0), (Joules{{"B", 2}}));
}

// Another program reading the file in rollback-journal mode keeps COMMIT from
// its exclusive lock. The minute is lost, but the store must not sit on the
// open transaction: it would lock every other writer out and carry all later
// minutes into a commit that may never come (and is lost if the app is killed).
TEST(Store, FailedCommitIsRolledBackAndLaterMinutesAreStored) {
  TempFolder folder;
  std::string path = folder.file("history.sqlite");
  RawDatabase reader(path);
  ASSERT_EQ(reader.exec("CREATE TABLE battery(ts REAL, dt REAL, pct REAL, watts REAL, on_ac "
                        "INTEGER); CREATE TABLE app_energy(ts REAL, app TEXT, joules REAL);"
                        "BEGIN; SELECT COUNT(*) FROM battery;"),
            SQLITE_OK);
  Store store(path);  // cannot switch to WAL while the reader holds its lock
  store.write(minute(100, -5, false, {{"A", 1}}));

  RawDatabase other(path);
  ASSERT_EQ(other.exec("BEGIN IMMEDIATE; ROLLBACK;"), SQLITE_OK) << "write lock still held";
  ASSERT_EQ(reader.exec("COMMIT"), SQLITE_OK);
  store.write(minute(160, -5, false, {{"A", 2}}));
  EXPECT_EQ(other.text("SELECT group_concat(ts) FROM battery"), "160.0");
  EXPECT_EQ(other.number("SELECT SUM(joules) FROM app_energy"), 2);
}

// An insert failing halfway leaves neither half a minute (a battery row
// without its apps) nor an open transaction behind.
TEST(Store, FailedInsertDropsTheWholeMinute) {
  TempFolder folder;
  std::string path = folder.file("history.sqlite");
  Store store(path);
  RawDatabase raw(path);
  ASSERT_EQ(raw.exec("CREATE TRIGGER refuse BEFORE INSERT ON app_energy WHEN NEW.app='Bad' "
                     "BEGIN SELECT RAISE(ABORT, 'refused'); END;"),
            SQLITE_OK);
  store.write(minute(100, -5, false, {{"Good", 1}, {"Bad", 2}}));
  EXPECT_EQ(raw.number("SELECT COUNT(*) FROM battery"), 0);
  EXPECT_EQ(raw.number("SELECT COUNT(*) FROM app_energy"), 0);
  ASSERT_EQ(raw.exec("BEGIN IMMEDIATE; ROLLBACK;"), SQLITE_OK);
  store.write(minute(160, -5, false, {{"Good", 3}}));
  EXPECT_EQ(raw.number("SELECT SUM(joules) FROM app_energy WHERE ts=160"), 3);
}

}  // namespace
}  // namespace ebbwise

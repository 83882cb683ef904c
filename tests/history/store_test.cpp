#include "history/store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

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
// its exclusive lock for longer than the store waits. The minute is kept and
// stored with the next one; meanwhile the store must not sit on the open
// transaction: it would lock every other writer out.
TEST(Store, AMinuteTheFileIsTooBusyForIsStoredWithTheNextOne) {
  TempFolder folder;
  std::string path = folder.file("history.sqlite");
  RawDatabase reader(path);
  ASSERT_EQ(reader.exec("CREATE TABLE battery(ts REAL, dt REAL, pct REAL, watts REAL, on_ac "
                        "INTEGER); CREATE TABLE app_energy(ts REAL, app TEXT, joules REAL);"
                        "BEGIN; SELECT COUNT(*) FROM battery;"),
            SQLITE_OK);
  Store store(path);  // cannot switch to WAL while the reader holds its lock
  store.write(minute(100, -5, false, {{"A", 1}}));
  EXPECT_EQ(store.pendingMinutes(), 1u);

  RawDatabase other(path);
  ASSERT_EQ(other.exec("BEGIN IMMEDIATE; ROLLBACK;"), SQLITE_OK) << "write lock still held";
  ASSERT_EQ(reader.exec("COMMIT"), SQLITE_OK);
  store.write(minute(160, -5, false, {{"A", 2}}));
  EXPECT_EQ(store.pendingMinutes(), 0u);
  EXPECT_EQ(other.text("SELECT group_concat(ts) FROM battery"), "100.0,160.0");
  EXPECT_EQ(other.number("SELECT SUM(joules) FROM app_energy"), 3);
}

// A lock held for a moment (a backup, the sqlite3 tool) is waited for: the
// minute is stored at once.
TEST(Store, AShortLockIsWaitedFor) {
  TempFolder folder;
  std::string path = folder.file("history.sqlite");
  Store store(path);
  RawDatabase other(path);
  ASSERT_EQ(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    other.exec("ROLLBACK");
  });
  store.write(minute(100, -5, false, {{"A", 1}}));
  release.join();
  EXPECT_EQ(store.pendingMinutes(), 0u);
  EXPECT_EQ(other.number("SELECT SUM(joules) FROM app_energy WHERE ts=100"), 1);
}

// What the file holds under the history's names must be plain tables with its
// columns: anything else could run without end on the first query, or make
// every statement mean something else. Such a file is left as it is and the
// store keeps nothing; a file changed that way while the store has it open
// reads as empty, at once.
TEST(Store, AFileWhoseTablesAreNotTheHistorysIsNotUsed) {
  const std::string endless =
      "CREATE VIEW battery(ts, dt, pct, watts, on_ac) AS WITH RECURSIVE n(i) AS "
      "(SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT i, 60, 50, -5, 0 FROM n;";
  const std::pair<const char*, std::string> cases[] = {
      {"an endless view", endless},
      {"other columns", "CREATE TABLE battery(ts REAL, dt REAL, pct REAL, watts REAL);"},
      {"a computed column",
       "CREATE TABLE app_energy(ts REAL, app TEXT, joules REAL, x AS (joules * 2));"},
      {"columns in another order", "CREATE TABLE app_meta(bundle_path TEXT, app TEXT);"},
      {"a virtual table", "CREATE VIRTUAL TABLE app_meta USING fts5(app, bundle_path);"},
  };
  for (const auto& [name, sql] : cases) {
    TempFolder folder;
    const std::string path = folder.file("history.sqlite");
    {
      RawDatabase raw(path);
      ASSERT_EQ(raw.exec(sql), SQLITE_OK) << name;
    }
    const auto bytes = std::filesystem::file_size(path);
    {
      Store store(path);
      EXPECT_FALSE(store.isOpen()) << name;
      store.write(minute(100, -5, false, {{"A", 1}}));
      EXPECT_FALSE(store.lastRecord()) << name;
    }
    EXPECT_EQ(std::filesystem::file_size(path), bytes) << name;
    EXPECT_FALSE(std::filesystem::exists(path + "-wal")) << name;
  }

  TempFolder folder;
  const std::string path = folder.file("history.sqlite");
  Store store(path);
  store.write(minute(100, -5, false, {{"A", 1}}));
  RawDatabase raw(path);
  ASSERT_EQ(raw.exec("DROP TABLE battery;" + endless), SQLITE_OK);
  EXPECT_FALSE(store.lastRecord());
  EXPECT_EQ(store.drainedJoules(0), 0);
  EXPECT_EQ(store.appJoulesOnBattery(0), Joules{});
}

// An insert failing halfway leaves neither half a minute (a battery row
// without its apps) nor an open transaction behind, and is not tried again.
// Triggers the file holds do not run.
TEST(Store, FailedInsertDropsTheWholeMinute) {
  TempFolder folder;
  std::string path = folder.file("history.sqlite");
  RawDatabase raw(path);
  ASSERT_EQ(raw.exec("CREATE TABLE app_energy(ts REAL, app TEXT, joules REAL, CHECK(app<>'Bad'));"
                     "CREATE TABLE battery(ts REAL, dt REAL, pct REAL, watts REAL, on_ac INTEGER);"
                     "CREATE TABLE log(ts REAL);"
                     "CREATE TRIGGER copy AFTER INSERT ON battery BEGIN "
                     "INSERT INTO log VALUES(NEW.ts); END;"),
            SQLITE_OK);
  Store store(path);
  ASSERT_TRUE(store.isOpen());
  store.write(minute(100, -5, false, {{"Good", 1}, {"Bad", 2}}));
  EXPECT_EQ(store.pendingMinutes(), 0u);
  EXPECT_EQ(raw.number("SELECT COUNT(*) FROM battery"), 0);
  EXPECT_EQ(raw.number("SELECT COUNT(*) FROM app_energy"), 0);
  ASSERT_EQ(raw.exec("BEGIN IMMEDIATE; ROLLBACK;"), SQLITE_OK);
  store.write(minute(160, -5, false, {{"Good", 3}}));
  EXPECT_EQ(raw.number("SELECT SUM(joules) FROM app_energy WHERE ts=160"), 3);
  EXPECT_EQ(raw.number("SELECT COUNT(*) FROM log"), 0);
}

}  // namespace
}  // namespace ebbwise

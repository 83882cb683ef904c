#include "core/store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/history_test_support.h"

namespace ebbwise {
namespace {

using test::RawDatabase;
using test::TempFolder;
using Joules = std::map<std::string, double>;

HistoryRecord minute(double ts, double watts, bool onAC,
                     std::unordered_map<std::string, double> apps = {}) {
  return HistoryRecord{ts, 60, ts / 10, watts, onAC, std::move(apps)};
}

class FakeEnvironment : public sys::Environment {
 public:
  std::optional<std::string> dataDir, support;
  bool fileExists(std::string_view) override { return false; }
  std::optional<std::string> homeDirectory() override { return std::nullopt; }
  std::optional<std::string> applicationSupportDirectory() override { return support; }
  std::optional<std::string> cacheDirectory() override { return std::nullopt; }
  std::optional<std::string> variable(std::string_view name) override {
    return name == "EBBWISE_DATA_DIR" ? dataDir : std::nullopt;
  }
  sys::OSVersion osVersion() override { return {}; }
};

TEST(Store, DefaultLocationPrefersANonEmptyDataDir) {
  FakeEnvironment env;
  env.support = "/home/u/.local/share";
  for (auto dir : {std::optional<std::string>(), std::optional<std::string>("")}) {
    env.dataDir = dir;
    EXPECT_EQ(Store::defaultURL(env), "/home/u/.local/share/joulemark/history.sqlite");
  }
  env.dataDir = "/data";
  EXPECT_EQ(Store::defaultURL(env), "/data/joulemark/history.sqlite");
  env = FakeEnvironment{};
  EXPECT_EQ(Store::defaultURL(env), std::nullopt);
}

// A scratch history keeps and reads back the same minutes; only its commits
// stop waiting for the disk.
TEST(Store, ScratchHistoryStoresTheSameMinutes) {
  TempFolder folder;
  std::string path = folder.file("scratch/history.sqlite");
  {
    Store scratch(path, Store::Durability::scratch);
    ASSERT_TRUE(scratch.isOpen());
    scratch.write(minute(1000, -6, false, {{"Mail", 30}}));
    scratch.write(minute(1060, -9, false, {{"Mail", 10}, {"Xcode", 50}}));
    EXPECT_EQ(scratch.drainedJoules(0), 900);
    EXPECT_EQ(scratch.appJoulesOnBattery(0), (Joules{{"Mail", 40}, {"Xcode", 50}}));
  }
  RawDatabase raw(path);
  EXPECT_EQ(raw.text("PRAGMA journal_mode"), "wal");
  EXPECT_EQ(raw.number("SELECT SUM(joules) FROM app_energy"), 90);
}

TEST(Store, CreatesItsFolderAndSchemaAndStoresOnlyAppsThatUsedEnergy) {
  TempFolder folder;
  std::string path = folder.file("a/b/history.sqlite");
  Store(path).write(minute(1000, -7.5, false, {{"Mail", 12.5}, {"Idle", 0}, {"Odd", -1}}));
  RawDatabase raw(path);
  EXPECT_EQ(raw.text("PRAGMA journal_mode"), "wal");
  EXPECT_EQ(raw.number("SELECT COUNT(*) FROM sqlite_master WHERE name IN "
                       "('battery','app_energy','app_meta','i_app_ts','i_bat_ts')"),
            5);
  EXPECT_EQ(raw.number("SELECT watts*dt FROM battery WHERE ts=1000 AND pct=100"), -450);
  EXPECT_EQ(raw.text("SELECT typeof(on_ac) FROM battery"), "integer");
  EXPECT_EQ(raw.text("SELECT app || joules FROM app_energy"), "Mail12.5");
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
      store.rememberBundle("App", "/Applications/App.app");
      store.deleteOlderThan(1e12);
      EXPECT_EQ(store.drainedJoules(0), 0);
      EXPECT_TRUE(store.batteryPoints(0).empty());
      EXPECT_FALSE(store.lastRecord());
    }
    EXPECT_FALSE(std::filesystem::exists(path + "-wal")) << path;
  }
  std::ifstream in(folder.file("garbage.sqlite"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), garbage);
}

TEST(Store, RangeQueriesAndRetention) {
  TempFolder folder;
  Store store(folder.file("history.sqlite"));
  EXPECT_FALSE(store.lastRecord());
  store.write(minute(100, -6, false, {{"A", 10}, {"B", 5}}));
  EXPECT_FALSE(store.lastPluggedIn());             // no on-AC row: MAX is NULL
  store.write(minute(160, 3, false, {{"A", 1}}));  // the pack gained charge on battery
  store.write(minute(220, 30, true, {{"A", 100}, {"C", 7}}));
  store.write(minute(280, -4, false, {{"B", 2}}));

  EXPECT_DOUBLE_EQ(store.drainedJoules(0), 6 * 60 + 4 * 60);
  EXPECT_DOUBLE_EQ(store.drainedJoules(100), 4 * 60);  // strictly after
  EXPECT_DOUBLE_EQ(store.secondsOnBattery(0), 180);
  EXPECT_EQ(store.appJoulesOnBattery(0), (Joules{{"A", 11}, {"B", 7}}));
  EXPECT_EQ(store.batteryPoints(100), (std::vector<BatteryPoint>{{sys::Date{160}, 16, false},
                                                                 {sys::Date{220}, 22, true},
                                                                 {sys::Date{280}, 28, false}}));
  EXPECT_EQ(store.lastPluggedIn(), 220);
  EXPECT_EQ(store.firstOnBattery(100)->ts, 160);
  EXPECT_EQ(store.firstOnBattery(100)->percent, 16);
  EXPECT_FALSE(store.firstOnBattery(280));
  EXPECT_EQ(store.lastRecord()->ts, 280);

  store.deleteOlderThan(220);  // a row at the cutoff stays
  EXPECT_EQ(store.batteryPoints(0).front().date, sys::Date{220});
  EXPECT_EQ(store.appJoulesOnBattery(0), (Joules{{"B", 2}}));
}

// A NULL name (only a hand-edited file holds one) names no row: skipped, and
// reading goes on with the rest.
TEST(Store, RowsWithNullTextAreSkipped) {
  TempFolder folder;
  std::string path = folder.file("history.sqlite");
  Store store(path);
  store.write(minute(100, -6, false, {{"A", 10}}));
  store.rememberBundle("A", "/old/A.app");
  store.rememberBundle("A", "/Applications/A.app");
  ASSERT_EQ(RawDatabase(path).exec("INSERT INTO app_energy VALUES(100, NULL, 4);"
                                   "INSERT INTO app_meta VALUES(NULL, '/x.app'), ('B', NULL);"),
            SQLITE_OK);
  EXPECT_EQ(store.appJoulesOnBattery(0), (Joules{{"A", 10}}));
  EXPECT_EQ(store.bundlePaths(),
            (std::map<std::string, std::string>{{"A", "/Applications/A.app"}}));
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

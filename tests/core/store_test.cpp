#include "core/store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>

#include "core/history_test_support.h"

namespace ebbwise {
namespace {

using testing::RawDatabase;
using testing::TempFolder;

HistoryRecord minute(double ts, double watts, bool onAC,
                     std::unordered_map<std::string, double> apps = {}, double pct = 50) {
  return HistoryRecord{ts, 60, pct, watts, onAC, std::move(apps)};
}

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FakeEnvironment : public sys::Environment {
 public:
  std::optional<std::string> dataDir;
  std::optional<std::string> support;

  bool fileExists(std::string_view) override { return false; }
  std::optional<std::string> homeDirectory() override { return std::nullopt; }
  std::optional<std::string> applicationSupportDirectory() override { return support; }
  std::optional<std::string> cacheDirectory() override { return std::nullopt; }
  std::optional<std::string> variable(std::string_view name) override {
    return name == "EBBWISE_DATA_DIR" ? dataDir : std::nullopt;
  }
  sys::OSVersion osVersion() override { return {}; }
};

TEST(StoreLocation, DataDirVariableReplacesTheApplicationSupportFolder) {
  struct Case {
    std::optional<std::string> dataDir, support, expected;
  };
  const Case cases[] = {
      {"/data", "/home/u/.local/share", "/data/joulemark/history.sqlite"},
      {"", "/home/u/.local/share", "/home/u/.local/share/joulemark/history.sqlite"},
      {std::nullopt, "/home/u/.local/share", "/home/u/.local/share/joulemark/history.sqlite"},
      {std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    FakeEnvironment env;
    env.dataDir = c.dataDir;
    env.support = c.support;
    EXPECT_EQ(Store::defaultURL(env), c.expected) << c.dataDir.value_or("(unset)");
  }
}

TEST(StoreOpening, CreatesFolderTablesIndexesInWalMode) {
  TempFolder folder;
  std::string path = folder.file("a/b/history.sqlite");
  Store store(path);
  ASSERT_TRUE(store.isOpen());
  RawDatabase raw(path);
  EXPECT_EQ(raw.text("PRAGMA journal_mode"), "wal");
  EXPECT_EQ(raw.number("SELECT COUNT(*) FROM sqlite_master WHERE type='table' AND name IN "
                       "('battery','app_energy','app_meta')"),
            3);
  EXPECT_EQ(raw.number("SELECT COUNT(*) FROM sqlite_master WHERE type='index' AND name IN "
                       "('i_app_ts','i_bat_ts')"),
            2);
}

TEST(StoreOpening, FileThatIsNotADatabaseIsLeftUntouched) {
  TempFolder folder;
  std::string path = folder.file("history.sqlite");
  const std::string original(5000, 'x');
  std::ofstream(path, std::ios::binary) << original;
  {
    Store store(path);
    EXPECT_FALSE(store.isOpen());
    store.write(minute(100, -5, false, {{"App", 3}}));
    store.rememberBundle("App", "/Applications/App.app");
    store.deleteOlderThan(1e12);
    EXPECT_EQ(store.drainedJoules(0), 0);
    EXPECT_TRUE(store.batteryPoints(0).empty());
    EXPECT_FALSE(store.lastRecord());
  }
  EXPECT_EQ(contents(path), original);
  EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
  EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}

TEST(StoreOpening, UnusableLocationsGiveAStoreThatDoesNothing) {
  TempFolder folder;
  std::ofstream(folder.file("plain-file")) << "not a folder";
  std::filesystem::create_directories(folder.file("a-folder.sqlite"));
  for (const std::string& path :
       {folder.file("plain-file/joulemark/history.sqlite"), folder.file("a-folder.sqlite")}) {
    Store store(path);
    EXPECT_FALSE(store.isOpen()) << path;
    store.write(minute(100, -5, false, {{"App", 3}}));
    EXPECT_EQ(store.secondsOnBattery(0), 0);
    EXPECT_TRUE(store.appJoulesOnBattery(0).empty());
    EXPECT_TRUE(store.bundlePaths().empty());
    EXPECT_FALSE(store.lastPluggedIn());
    EXPECT_FALSE(store.firstOnBattery(0));
  }
  Store closed;
  EXPECT_FALSE(closed.isOpen());
  closed.write(minute(100, -5, false));
  EXPECT_FALSE(closed.lastRecord());
}

TEST(StoreWriting, StoresOneBatteryRowAndOnlyAppsThatUsedEnergy) {
  TempFolder folder;
  std::string path = folder.file("history.sqlite");
  Store store(path);
  store.write(minute(1000, -7.5, false, {{"Mail", 12.5}, {"Idle", 0}, {"Odd", -1}}, 81.5));
  store.write(minute(1060, 20, true, {{"Idle", 0}}));

  RawDatabase raw(path);
  EXPECT_EQ(raw.number("SELECT COUNT(*) FROM battery"), 2);
  EXPECT_EQ(raw.number("SELECT pct FROM battery WHERE ts=1000"), 81.5);
  EXPECT_EQ(raw.number("SELECT watts FROM battery WHERE ts=1000"), -7.5);
  EXPECT_EQ(raw.text("SELECT typeof(on_ac) FROM battery WHERE ts=1060"), "integer");
  EXPECT_EQ(raw.number("SELECT on_ac FROM battery WHERE ts=1060"), 1);
  EXPECT_EQ(raw.number("SELECT COUNT(*) FROM app_energy"), 1);
  EXPECT_EQ(raw.number("SELECT joules FROM app_energy WHERE app='Mail' AND ts=1000"), 12.5);
}

// A small history: three minutes on battery (in one of them the pack gained
// charge) and one on AC.
class StoreReading : public ::testing::Test {
 protected:
  void SetUp() override {
    store.write(minute(100, -6, false, {{"A", 10}, {"B", 5}}, 90));
    store.write(minute(160, 3, false, {{"A", 1}}, 91));
    store.write(minute(220, 30, true, {{"A", 100}, {"C", 7}}, 95));
    store.write(minute(280, -4, false, {{"B", 2}}, 94));
  }
  TempFolder folder;
  Store store{folder.file("history.sqlite")};
};

TEST_F(StoreReading, SumsCountOnlyOnBatteryMinutesAfterTheStart) {
  EXPECT_DOUBLE_EQ(store.drainedJoules(0), 6 * 60 + 4 * 60);  // the charging minute adds nothing
  EXPECT_DOUBLE_EQ(store.drainedJoules(100), 4 * 60);         // strictly after
  EXPECT_DOUBLE_EQ(store.secondsOnBattery(0), 180);
  EXPECT_DOUBLE_EQ(store.secondsOnBattery(280), 0);
  EXPECT_EQ(store.appJoulesOnBattery(0), (std::map<std::string, double>{{"A", 11}, {"B", 7}}));
  EXPECT_EQ(store.appJoulesOnBattery(160), (std::map<std::string, double>{{"B", 2}}));
}

TEST_F(StoreReading, PointsAndBoundaryRows) {
  auto points = store.batteryPoints(100);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[0], (BatteryPoint{sys::Date{160}, 91, false}));
  EXPECT_EQ(points[1], (BatteryPoint{sys::Date{220}, 95, true}));
  EXPECT_EQ(points[2], (BatteryPoint{sys::Date{280}, 94, false}));

  EXPECT_EQ(store.lastPluggedIn(), 220);
  auto first = store.firstOnBattery(100);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->ts, 160);
  EXPECT_EQ(first->dt, 60);
  EXPECT_EQ(first->percent, 91);
  EXPECT_FALSE(store.firstOnBattery(280));
  auto last = store.lastRecord();
  ASSERT_TRUE(last);
  EXPECT_EQ(last->ts, 280);
  EXPECT_FALSE(last->onAC);
}

TEST_F(StoreReading, DeleteKeepsRowsAtTheCutoff) {
  store.deleteOlderThan(220);
  auto points = store.batteryPoints(0);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0].date, sys::Date{220});
  EXPECT_EQ(store.appJoulesOnBattery(0), (std::map<std::string, double>{{"B", 2}}));
  RawDatabase raw(folder.file("history.sqlite"));
  EXPECT_EQ(raw.number("SELECT COUNT(*) FROM app_energy"), 3);
}

TEST(StoreReadingEmpty, NoRowsGiveZeroEmptyAndAbsent) {
  TempFolder folder;
  Store store(folder.file("history.sqlite"));
  EXPECT_EQ(store.drainedJoules(0), 0);
  EXPECT_EQ(store.secondsOnBattery(0), 0);
  EXPECT_FALSE(store.lastPluggedIn());
  EXPECT_FALSE(store.lastRecord());
  EXPECT_FALSE(store.firstOnBattery(0));
  store.write(minute(100, -5, false));
  EXPECT_FALSE(store.lastPluggedIn());  // no on-AC row: MAX is NULL
}

TEST(StoreBundles, LaterPathReplacesEarlier) {
  TempFolder folder;
  Store store(folder.file("history.sqlite"));
  store.rememberBundle("Notes", "/Applications/Notes.app");
  store.rememberBundle("Mail", "/Applications/Mail.app");
  store.rememberBundle("Notes", "/System/Applications/Notes.app");
  EXPECT_EQ(store.bundlePaths(),
            (std::map<std::string, std::string>{{"Mail", "/Applications/Mail.app"},
                                                {"Notes", "/System/Applications/Notes.app"}}));
}

// Rows only a hand-edited file holds: a NULL name names no row, so it is
// skipped and reading goes on with the rest.
TEST(StoreHandEdited, NullTextIsSkipped) {
  TempFolder folder;
  std::string path = folder.file("history.sqlite");
  Store store(path);
  store.write(minute(100, -6, false, {{"A", 10}}));
  store.rememberBundle("A", "/Applications/A.app");
  {
    RawDatabase raw(path);
    ASSERT_EQ(raw.exec("INSERT INTO app_energy VALUES(100, NULL, 4);"
                       "INSERT INTO app_meta VALUES(NULL, '/x.app');"
                       "INSERT INTO app_meta VALUES('B', NULL);"
                       "INSERT INTO battery VALUES(NULL, NULL, NULL, NULL, NULL);"),
              SQLITE_OK);
  }
  EXPECT_EQ(store.appJoulesOnBattery(0), (std::map<std::string, double>{{"A", 10}}));
  EXPECT_EQ(store.bundlePaths(),
            (std::map<std::string, std::string>{{"A", "/Applications/A.app"}}));
  EXPECT_EQ(store.batteryPoints(0).size(), 1u);
}

// Another program reading the file in rollback-journal mode keeps the commit
// from getting its exclusive lock. The minute is dropped, but the store must
// not sit on an open transaction: that would lock every other writer out and
// carry all later minutes into a commit that may never happen.
TEST(StoreFailures, FailedCommitIsRolledBackAndLaterMinutesAreStored) {
  TempFolder folder;
  std::string path = folder.file("history.sqlite");
  RawDatabase reader(path);
  ASSERT_EQ(reader.exec("CREATE TABLE battery(ts REAL, dt REAL, pct REAL, watts REAL, on_ac "
                        "INTEGER); CREATE TABLE app_energy(ts REAL, app TEXT, joules REAL);"),
            SQLITE_OK);
  ASSERT_EQ(reader.exec("BEGIN; SELECT COUNT(*) FROM battery;"), SQLITE_OK);

  Store store(path);  // cannot switch to WAL while the reader holds its lock
  ASSERT_TRUE(store.isOpen());
  store.write(minute(100, -5, false, {{"A", 1}}));

  RawDatabase other(path);
  ASSERT_EQ(other.exec("BEGIN IMMEDIATE; ROLLBACK;"), SQLITE_OK)
      << "the store still holds its write lock";

  ASSERT_EQ(reader.exec("COMMIT"), SQLITE_OK);
  store.write(minute(160, -5, false, {{"A", 2}}));
  EXPECT_EQ(other.number("SELECT COUNT(*) FROM battery"), 1);
  EXPECT_EQ(other.number("SELECT ts FROM battery"), 160);
  EXPECT_EQ(other.number("SELECT SUM(joules) FROM app_energy"), 2);
}

// An insert that fails halfway through a minute must not leave half a minute
// behind (a battery row without its apps) nor an open transaction.
TEST(StoreFailures, FailedInsertDropsTheWholeMinute) {
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
  EXPECT_EQ(raw.number("SELECT ts FROM battery"), 160);
  EXPECT_EQ(raw.number("SELECT SUM(joules) FROM app_energy"), 3);
}

// A second writer holding the lock (zero busy timeout) makes the first insert
// fail; the next minute goes through once the lock is released.
TEST(StoreFailures, BusyWriterDropsOnlyThatMinute) {
  TempFolder folder;
  std::string path = folder.file("history.sqlite");
  Store store(path);
  RawDatabase writer(path);
  ASSERT_EQ(writer.exec("BEGIN IMMEDIATE"), SQLITE_OK);
  store.write(minute(100, -5, false, {{"A", 1}}));
  ASSERT_EQ(writer.exec("COMMIT"), SQLITE_OK);
  store.write(minute(160, -5, false, {{"A", 2}}));
  store.write(minute(220, -5, false, {{"A", 4}}));
  EXPECT_EQ(writer.number("SELECT COUNT(*) FROM battery"), 2);
  EXPECT_EQ(store.appJoulesOnBattery(0), (std::map<std::string, double>{{"A", 6}}));
}

}  // namespace
}  // namespace ebbwise

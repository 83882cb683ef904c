// History store: one minute's write, and the range queries of the charts and
// totals over a database holding 90 days of minutes.
//
// The 90-day database is built once (about 130 000 battery rows and two million
// app rows) and reused: EBBWISE_BENCH_DB names the file, else it lives in the
// temporary folder. scripts/bench-store runs this program and then the sqlite3
// tool on the same file and statements.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/range_figures.h"
#include "history/store.h"

namespace {

using ebbwise::HistoryRecord;
using ebbwise::Store;

constexpr double kEnd = 1'760'000'000;  // the newest minute of the 90-day database
constexpr int kMinutes = 90 * 24 * 60;
constexpr int kAppPool = 40;
constexpr int kAppsPerMinute = 15;

std::string appName(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "App %02d", i);
  return name;
}

std::string databasePath() {
  if (const char* path = std::getenv("EBBWISE_BENCH_DB"); path && *path) return path;
  return (std::filesystem::temp_directory_path() / "ebbwise-bench-history-90d.sqlite").string();
}

int batteryRows(sqlite3* db) {
  sqlite3_stmt* stmt = nullptr;
  int rows = -1;
  if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM battery", -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    rows = sqlite3_column_int(stmt, 0);
  }
  sqlite3_finalize(stmt);
  return rows;
}

// Fills the file in one transaction (one commit per minute would take an hour
// of fsyncs); the schema comes from the store itself.
void build(const std::string& path) {
  std::filesystem::remove(path);
  std::filesystem::remove(path + "-wal");
  std::filesystem::remove(path + "-shm");
  { Store schema(path); }
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* battery = nullptr;
  sqlite3_stmt* app = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO battery VALUES(?,?,?,?,?)", -1, &battery, nullptr);
  sqlite3_prepare_v2(db, "INSERT INTO app_energy VALUES(?,?,?)", -1, &app, nullptr);

  std::mt19937 random(20240601);
  std::uniform_real_distribution<double> joules(0.05, 60.0);
  std::vector<int> pool(kAppPool);
  for (int i = 0; i < kAppPool; ++i) pool[i] = i;
  double percent = 100;
  for (int m = 0; m < kMinutes; ++m) {
    double ts = kEnd - (kMinutes - 1 - m) * 60.0;
    int minuteOfDay = m % 1440;
    // On battery through the working day and most evenings, charging at night.
    bool onAC =
        minuteOfDay < 420 || (minuteOfDay >= 720 && minuteOfDay < 780) || minuteOfDay >= 1380;
    double watts = onAC ? (percent < 100 ? 25.0 : 0.5) : -(4.0 + joules(random) / 6.0);
    percent = std::clamp(percent + watts * 60 / 3600 / 0.7, 5.0, 100.0);
    sqlite3_reset(battery);
    sqlite3_bind_double(battery, 1, ts);
    sqlite3_bind_double(battery, 2, 60);
    sqlite3_bind_double(battery, 3, percent);
    sqlite3_bind_double(battery, 4, watts);
    sqlite3_bind_double(battery, 5, onAC ? 1.0 : 0.0);
    sqlite3_step(battery);
    std::shuffle(pool.begin(), pool.end(), random);
    for (int a = 0; a < kAppsPerMinute; ++a) {
      std::string name = appName(pool[a]);
      sqlite3_reset(app);
      sqlite3_bind_double(app, 1, ts);
      sqlite3_bind_text(app, 2, name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_double(app, 3, joules(random));
      sqlite3_step(app);
    }
  }
  sqlite3_finalize(battery);
  sqlite3_finalize(app);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

// The 90-day database, built on first use.
const std::string& ninetyDays() {
  static const std::string path = [] {
    std::string p = databasePath();
    sqlite3* db = nullptr;
    bool ready = std::filesystem::exists(p) &&
                 sqlite3_open_v2(p.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
                 batteryRows(db) == kMinutes;
    sqlite3_close(db);
    if (!ready) build(p);
    return p;
  }();
  return path;
}

// Range argument: days back from the newest minute.
double since(const benchmark::State& state) {
  return kEnd - static_cast<double>(state.range(0)) * 86'400;
}

void BM_Write20Apps(benchmark::State& state) {
  auto folder = std::filesystem::temp_directory_path() / "ebbwise-bench-write";
  std::filesystem::remove_all(folder);
  {
    Store store((folder / "history.sqlite").string());
    HistoryRecord record{kEnd, 60, 80, -7.5, false, {}};
    for (int i = 0; i < 20; ++i) record.appJoules[appName(i)] = 1.0 + i;
    for (auto _ : state) {
      store.write(record);
      record.ts += 60;
    }
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_Write20Apps)->Unit(benchmark::kMicrosecond);

template <typename Query>
void runQuery(benchmark::State& state, Query query) {
  Store store(ninetyDays());
  double from = since(state);
  query(store, from);  // warm the page cache
  for (auto _ : state) benchmark::DoNotOptimize(query(store, from));
}

void BM_DrainedJoules(benchmark::State& state) {
  runQuery(state, [](Store& s, double from) { return s.drainedJoules(from); });
}
void BM_SecondsOnBattery(benchmark::State& state) {
  runQuery(state, [](Store& s, double from) { return s.secondsOnBattery(from); });
}
void BM_AppJoulesOnBattery(benchmark::State& state) {
  runQuery(state, [](Store& s, double from) { return s.appJoulesOnBattery(from); });
}
void BM_BatteryPoints(benchmark::State& state) {
  runQuery(state, [](Store& s, double from) { return s.batteryPoints(from); });
}

BENCHMARK(BM_DrainedJoules)->Arg(1)->Arg(7)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SecondsOnBattery)->Arg(1)->Arg(7)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AppJoulesOnBattery)->Arg(1)->Arg(7)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BatteryPoints)->Arg(1)->Arg(7)->Unit(benchmark::kMicrosecond);

}  // namespace

namespace {

// The panel's 7-day (and 24-hour) view: every query of a range reload, the
// shares and the percent line thinned to 400 points.
void BM_RangeReload(benchmark::State& state) {
  Store store(ninetyDays());
  const auto range = state.range(0) == 7 ? ebbwise::HistoryRange::week : ebbwise::HistoryRange::day;
  std::size_t points = 0;
  for (auto _ : state) {
    ebbwise::RangeFigures figures = ebbwise::RangeFigures::fromStore(range, store, kEnd);
    points = figures.history.size();
    benchmark::DoNotOptimize(figures);
  }
  state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(BM_RangeReload)->Arg(1)->Arg(7)->Unit(benchmark::kMillisecond);

}  // namespace

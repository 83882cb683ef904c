// How fast the history grows: a simulated day of the default machine with the
// monitor writing its history as the real program does (full durability),
// through a file layer that counts what SQLite writes to the database and to
// its write-ahead log. Reported per simulated day:
//   batteryRowsPerMinute, appRowsPerMinute  rows per minute the monitor ran
//   smallAppRowShare    app rows under 0.06 J, as a share of all app rows
//   databaseBytes       the database file's size after the day
//   walFileBytes        the log file's size after the day
//   walBytesWritten     bytes appended to the log over the day
//   databaseBytesWritten  bytes the log's checkpoints copied into the database
//   bytesWritten        everything written to either file (and any other)
//   syncs               fsync calls
//   minutesRecorded     the minutes the monitor ran (the machine sleeps at lunch)
// once with the store's own page size and once with 1 KiB pages, which a
// commit of a few small rows rewrites far less of.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/monitor.h"
#include "history/store.h"
#include "sim/scenario.h"
#include "sim/simulation.h"

namespace {

using namespace ebbwise;

constexpr double kDay = 24 * 3600;

// What went through the counting file layer.
struct Written {
  std::uint64_t database = 0, wal = 0, other = 0, syncs = 0;
};
Written written;  // the file layer is process-wide, and so are its counts

// A file of the counting layer: ours first, the real layer's file after it.
struct CountingFile {
  sqlite3_file base;
  int kind;  // SQLITE_OPEN_MAIN_DB, SQLITE_OPEN_WAL or 0
  sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

CountingFile* counting(sqlite3_file* f) {
  return reinterpret_cast<CountingFile*>(f);
}
sqlite3_file* real(sqlite3_file* f) {
  return counting(f)->real();
}

int xClose(sqlite3_file* f) {
  return real(f)->pMethods->xClose(real(f));
}
int xRead(sqlite3_file* f, void* p, int n, sqlite3_int64 at) {
  return real(f)->pMethods->xRead(real(f), p, n, at);
}
int xWrite(sqlite3_file* f, const void* p, int n, sqlite3_int64 at) {
  const auto bytes = static_cast<std::uint64_t>(n);
  switch (counting(f)->kind) {
    case SQLITE_OPEN_MAIN_DB:
      written.database += bytes;
      break;
    case SQLITE_OPEN_WAL:
      written.wal += bytes;
      break;
    default:
      written.other += bytes;
      break;
  }
  return real(f)->pMethods->xWrite(real(f), p, n, at);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
  return real(f)->pMethods->xTruncate(real(f), size);
}
int xSync(sqlite3_file* f, int flags) {
  ++written.syncs;
  return real(f)->pMethods->xSync(real(f), flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size) {
  return real(f)->pMethods->xFileSize(real(f), size);
}
int xLock(sqlite3_file* f, int level) {
  return real(f)->pMethods->xLock(real(f), level);
}
int xUnlock(sqlite3_file* f, int level) {
  return real(f)->pMethods->xUnlock(real(f), level);
}
int xCheckReservedLock(sqlite3_file* f, int* out) {
  return real(f)->pMethods->xCheckReservedLock(real(f), out);
}
int xFileControl(sqlite3_file* f, int op, void* arg) {
  return real(f)->pMethods->xFileControl(real(f), op, arg);
}
int xSectorSize(sqlite3_file* f) {
  return real(f)->pMethods->xSectorSize(real(f));
}
int xDeviceCharacteristics(sqlite3_file* f) {
  return real(f)->pMethods->xDeviceCharacteristics(real(f));
}
int xShmMap(sqlite3_file* f, int page, int size, int extend, void volatile** out) {
  return real(f)->pMethods->xShmMap(real(f), page, size, extend, out);
}
int xShmLock(sqlite3_file* f, int offset, int n, int flags) {
  return real(f)->pMethods->xShmLock(real(f), offset, n, flags);
}
void xShmBarrier(sqlite3_file* f) {
  real(f)->pMethods->xShmBarrier(real(f));
}
int xShmUnmap(sqlite3_file* f, int deleteFlag) {
  return real(f)->pMethods->xShmUnmap(real(f), deleteFlag);
}
int xFetch(sqlite3_file* f, sqlite3_int64 at, int n, void** out) {
  return real(f)->pMethods->xFetch(real(f), at, n, out);
}
int xUnfetch(sqlite3_file* f, sqlite3_int64 at, void* p) {
  return real(f)->pMethods->xUnfetch(real(f), at, p);
}

const sqlite3_io_methods kMethods = {3,
                                     xClose,
                                     xRead,
                                     xWrite,
                                     xTruncate,
                                     xSync,
                                     xFileSize,
                                     xLock,
                                     xUnlock,
                                     xCheckReservedLock,
                                     xFileControl,
                                     xSectorSize,
                                     xDeviceCharacteristics,
                                     xShmMap,
                                     xShmLock,
                                     xShmBarrier,
                                     xShmUnmap,
                                     xFetch,
                                     xUnfetch};

sqlite3_vfs* realVfs = nullptr;

int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
  CountingFile* file = counting(f);
  file->kind = flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_WAL);
  int rc = realVfs->xOpen(realVfs, name, file->real(), flags, outFlags);
  file->base.pMethods = file->real()->pMethods ? &kMethods : nullptr;
  return rc;
}

// Makes the counting layer the default, over the platform's own.
void installCountingFiles() {
  static sqlite3_vfs vfs = [] {
    realVfs = sqlite3_vfs_find(nullptr);
    sqlite3_vfs v = *realVfs;
    v.zName = "counting";
    v.szOsFile = static_cast<int>(sizeof(CountingFile)) + realVfs->szOsFile;
    v.xOpen = xOpen;
    return v;
  }();
  sqlite3_vfs_register(&vfs, 1);
}

double count(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  double value = 0;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    value = sqlite3_column_double(stmt, 0);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return value;
}

// Range argument: the database's page size; 0 leaves it to the store (SQLite's
// default). A file made beforehand with another page size keeps it.
void BM_HistoryGrowthDefaultDay(benchmark::State& state) {
  installCountingFiles();
  const int pageSize = static_cast<int>(state.range(0));
  const auto folder = std::filesystem::temp_directory_path() / "ebbwise-bench-history-growth";
  const std::string path = (folder / "history.sqlite").string();
  auto parsed = sim::Scenario::embedded("default");
  if (!parsed) std::abort();
  parsed.scenario->duration = kDay;
  std::uintmax_t walFile = 0;
  for (auto _ : state) {
    std::filesystem::remove_all(folder);
    if (pageSize > 0) {
      std::filesystem::create_directories(folder);
      sqlite3* db = nullptr;
      sqlite3_open(path.c_str(), &db);
      const std::string pragma =
          "PRAGMA page_size=" + std::to_string(pageSize) + "; PRAGMA journal_mode=WAL;";
      sqlite3_exec(db, pragma.c_str(), nullptr, nullptr, nullptr);
      sqlite3_close(db);
    }
    written = {};
    sim::Simulation simulation(*parsed.scenario);
    {
      Monitor monitor(simulation.platform(), std::make_unique<Store>(path));
      simulation.runFor(kDay);
      monitor.willTerminate();
      std::error_code ec;
      walFile = std::filesystem::file_size(path + "-wal", ec);
      if (ec) walFile = 0;
    }
  }
  const double battery = count(path, "SELECT COUNT(*) FROM battery");
  const double apps = count(path, "SELECT COUNT(*) FROM app_energy");
  const double small = count(path, "SELECT COUNT(*) FROM app_energy WHERE joules<0.06");
  const double minutes = count(path, "SELECT SUM(dt) FROM battery") / 60;
  state.counters["minutesRecorded"] = minutes;
  state.counters["batteryRowsPerMinute"] = battery / minutes;
  state.counters["appRowsPerMinute"] = apps / minutes;
  state.counters["smallAppRowShare"] = apps > 0 ? small / apps : 0;
  state.counters["databaseBytes"] = static_cast<double>(std::filesystem::file_size(path));
  state.counters["walFileBytes"] = static_cast<double>(walFile);
  state.counters["walBytesWritten"] = static_cast<double>(written.wal);
  state.counters["databaseBytesWritten"] = static_cast<double>(written.database);
  state.counters["bytesWritten"] =
      static_cast<double>(written.wal + written.database + written.other);
  state.counters["syncs"] = static_cast<double>(written.syncs);
  // EBBWISE_BENCH_KEEP names a file to keep the day's database in (with the
  // page size appended), for study.
  if (const char* keep = std::getenv("EBBWISE_BENCH_KEEP"); keep && *keep) {
    std::error_code ec;
    std::filesystem::copy_file(path, std::string(keep) + "-" + std::to_string(pageSize),
                               std::filesystem::copy_options::overwrite_existing, ec);
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_HistoryGrowthDefaultDay)->Arg(0)->Arg(1024)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

#include "history/store.h"

#include <sqlite3.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace ebbwise {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSchema =
    "PRAGMA journal_mode=WAL;\n"
    "CREATE TABLE IF NOT EXISTS battery(ts REAL, dt REAL, pct REAL, watts REAL, on_ac INTEGER);\n"
    "CREATE TABLE IF NOT EXISTS app_energy(ts REAL, app TEXT, joules REAL);\n"
    "CREATE TABLE IF NOT EXISTS app_meta(app TEXT PRIMARY KEY, bundle_path TEXT);\n"
    "CREATE INDEX IF NOT EXISTS i_app_ts ON app_energy(ts);\n"
    "CREATE INDEX IF NOT EXISTS i_bat_ts ON battery(ts);";

// Indexed by Store::Sql.
constexpr const char* kStatements[] = {
    "BEGIN",
    "COMMIT",
    "ROLLBACK",
    "INSERT INTO battery VALUES(?,?,?,?,?)",
    "INSERT INTO app_energy VALUES(?,?,?)",
    "INSERT OR REPLACE INTO app_meta VALUES(?,?)",
    "DELETE FROM battery WHERE ts<?",
    "DELETE FROM app_energy WHERE ts<?",
    "SELECT SUM(-watts*dt) FROM battery WHERE ts>? AND on_ac=0 AND watts<0",
    "SELECT SUM(dt) FROM battery WHERE ts>? AND on_ac=0",
    "SELECT a.app, SUM(a.joules) FROM app_energy a JOIN battery b ON a.ts=b.ts\n"
    "WHERE a.ts>? AND b.on_ac=0 GROUP BY a.app",
    "SELECT ts, pct, on_ac FROM battery WHERE ts>? ORDER BY ts",
    "SELECT MAX(ts) FROM battery WHERE on_ac=1",
    "SELECT ts, dt, pct FROM battery WHERE ts>? AND on_ac=0 ORDER BY ts LIMIT 1",
    "SELECT ts, on_ac FROM battery ORDER BY ts DESC LIMIT 1",
    "SELECT app, bundle_path FROM app_meta",
};

// Whether SQLite may open `path` without risking someone else's file: it is
// missing, empty, or starts with the SQLite header.
bool mayOpen(const std::string& path) {
  std::error_code ec;
  fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) return true;
  if (ec || status.type() != fs::file_type::regular) return false;
  std::uintmax_t size = fs::file_size(path, ec);
  if (ec) return false;
  if (size == 0) return true;
  static constexpr char kMagic[16] = "SQLite format 3";  // with its terminating NUL
  char header[sizeof kMagic] = {};
  std::ifstream in(path, std::ios::binary);
  if (!in.read(header, sizeof header)) return false;
  return std::memcmp(header, kMagic, sizeof kMagic) == 0;
}

// Text of a column, or nothing when it holds NULL.
std::optional<std::string> text(sqlite3_stmt* stmt, int column) {
  const auto* bytes = sqlite3_column_text(stmt, column);
  if (bytes == nullptr) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(bytes),
                     static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
}

bool bindText(sqlite3_stmt* stmt, int index, std::string_view value) {
  if (value.size() > static_cast<std::size_t>(INT_MAX)) return false;
  return sqlite3_bind_text(stmt, index, value.data(), static_cast<int>(value.size()),
                           SQLITE_TRANSIENT) == SQLITE_OK;
}

}  // namespace

// A cached statement for the length of one operation. Resetting it at the end
// matters: a statement left mid-read would hold its read snapshot open.
class Store::Use {
 public:
  Use(Store& store, Sql sql) : stmt_(store.statement(sql)) {}
  ~Use() {
    if (stmt_ != nullptr) sqlite3_reset(stmt_);
  }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;

  explicit operator bool() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_;
};

Store::Store(const std::string& path, Durability durability) : path_(path) {
  fs::path parent = fs::path(path).parent_path();
  if (!parent.empty()) {
    std::error_code ec;
    fs::create_directories(parent, ec);
    if (!fs::is_directory(parent, ec)) return;
  }
  if (!mayOpen(path)) return;

  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    return;
  }
  // Only a file SQLite cannot read as a database closes the store; other
  // failures (a lock held by another program while switching to WAL) leave
  // whatever the file already holds usable.
  int rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
  if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) {
    sqlite3_close(db);
    return;
  }
  if (durability == Durability::scratch) {
    sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
  }
  db_ = db;
}

bool Store::isWritable() const {
  return db_ != nullptr && sqlite3_db_readonly(db_, "main") == 0;
}

Store::~Store() {
  for (sqlite3_stmt* stmt : statements_) sqlite3_finalize(stmt);
  if (db_ != nullptr) sqlite3_close(db_);
}

std::optional<std::string> Store::defaultURL(sys::Environment& environment) {
  std::optional<std::string> folder = environment.variable("EBBWISE_DATA_DIR");
  if (!folder || folder->empty()) folder = environment.applicationSupportDirectory();
  if (!folder || folder->empty()) return std::nullopt;
  return (fs::path(*folder) / "joulemark" / "history.sqlite").string();
}

sqlite3_stmt* Store::statement(Sql sql) {
  static_assert(std::size(kStatements) == kSqlCount);
  if (db_ == nullptr) return nullptr;
  sqlite3_stmt*& stmt = statements_[sql];
  if (stmt == nullptr) {
    if (sqlite3_prepare_v3(db_, kStatements[sql], -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) !=
        SQLITE_OK) {
      sqlite3_finalize(stmt);
      stmt = nullptr;
    }
  }
  return stmt;
}

bool Store::run(Sql sql, std::initializer_list<double> args) {
  Use use(*this, sql);
  if (!use) return false;
  int index = 1;
  for (double arg : args) {
    if (sqlite3_bind_double(use.get(), index++, arg) != SQLITE_OK) return false;
  }
  int rc;
  while ((rc = sqlite3_step(use.get())) == SQLITE_ROW) {
  }
  return rc == SQLITE_DONE;
}

void Store::rollback() {
  if (db_ != nullptr && sqlite3_get_autocommit(db_) == 0) run(kRollback, {});
}

void Store::write(const HistoryRecord& record) {
  if (db_ == nullptr) return;
  // A transaction still open here would carry this minute, and every later
  // one, into a commit that may never come.
  rollback();
  if (!run(kBegin, {})) return;
  bool stored = run(kInsertBattery,
                    {record.ts, record.dt, record.percent, record.watts, record.onAC ? 1.0 : 0.0});
  if (stored) {
    Use insert(*this, kInsertApp);
    stored = static_cast<bool>(insert);
    for (auto it = record.appJoules.begin(); stored && it != record.appJoules.end(); ++it) {
      if (!(it->second > 0)) continue;
      sqlite3_stmt* stmt = insert.get();
      sqlite3_reset(stmt);
      stored = sqlite3_bind_double(stmt, 1, record.ts) == SQLITE_OK &&
               bindText(stmt, 2, it->first) &&
               sqlite3_bind_double(stmt, 3, it->second) == SQLITE_OK &&
               sqlite3_step(stmt) == SQLITE_DONE;
    }
  }
  if (stored) stored = run(kCommit, {});
  // A minute is stored whole or not at all; a failed COMMIT leaves the
  // transaction open, so end it here.
  if (!stored) rollback();
}

void Store::rememberBundle(std::string_view app, std::string_view path) {
  Use use(*this, kRememberBundle);
  if (!use) return;
  if (bindText(use.get(), 1, app) && bindText(use.get(), 2, path)) sqlite3_step(use.get());
}

void Store::deleteOlderThan(double ts) {
  run(kDeleteBattery, {ts});
  run(kDeleteApps, {ts});
}

double Store::sum(Sql sql, double since) {
  Use use(*this, sql);
  if (!use || sqlite3_bind_double(use.get(), 1, since) != SQLITE_OK) return 0;
  double result = 0;
  while (sqlite3_step(use.get()) == SQLITE_ROW) result = sqlite3_column_double(use.get(), 0);
  return result;
}

double Store::drainedJoules(double since) {
  return sum(kDrained, since);
}

double Store::secondsOnBattery(double since) {
  return sum(kSecondsOnBattery, since);
}

std::map<std::string, double> Store::appJoulesOnBattery(double since) {
  std::map<std::string, double> result;
  Use use(*this, kAppJoules);
  if (!use || sqlite3_bind_double(use.get(), 1, since) != SQLITE_OK) return result;
  while (sqlite3_step(use.get()) == SQLITE_ROW) {
    if (auto app = text(use.get(), 0))
      result[std::move(*app)] = sqlite3_column_double(use.get(), 1);
  }
  return result;
}

std::vector<BatteryPoint> Store::batteryPoints(double since) {
  std::vector<BatteryPoint> result;
  Use use(*this, kBatteryPoints);
  if (!use || sqlite3_bind_double(use.get(), 1, since) != SQLITE_OK) return result;
  sqlite3_stmt* stmt = use.get();
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    result.push_back(BatteryPoint{sys::Date{sqlite3_column_double(stmt, 0)},
                                  sqlite3_column_double(stmt, 1),
                                  sqlite3_column_int64(stmt, 2) != 0});
  }
  return result;
}

std::optional<double> Store::lastPluggedIn() {
  Use use(*this, kLastPluggedIn);
  if (!use) return std::nullopt;
  std::optional<double> result;
  while (sqlite3_step(use.get()) == SQLITE_ROW) {
    if (sqlite3_column_type(use.get(), 0) != SQLITE_NULL) {
      result = sqlite3_column_double(use.get(), 0);
    }
  }
  return result;
}

std::optional<Store::FirstOnBattery> Store::firstOnBattery(double after) {
  Use use(*this, kFirstOnBattery);
  if (!use || sqlite3_bind_double(use.get(), 1, after) != SQLITE_OK) return std::nullopt;
  if (sqlite3_step(use.get()) != SQLITE_ROW) return std::nullopt;
  return FirstOnBattery{sqlite3_column_double(use.get(), 0), sqlite3_column_double(use.get(), 1),
                        sqlite3_column_double(use.get(), 2)};
}

std::optional<Store::LastRecord> Store::lastRecord() {
  Use use(*this, kLastRecord);
  if (!use || sqlite3_step(use.get()) != SQLITE_ROW) return std::nullopt;
  return LastRecord{sqlite3_column_double(use.get(), 0), sqlite3_column_int64(use.get(), 1) != 0};
}

std::map<std::string, std::string> Store::bundlePaths() {
  std::map<std::string, std::string> result;
  Use use(*this, kBundlePaths);
  if (!use) return result;
  while (sqlite3_step(use.get()) == SQLITE_ROW) {
    auto app = text(use.get(), 0);
    auto path = text(use.get(), 1);
    if (app && path) result[std::move(*app)] = std::move(*path);
  }
  return result;
}

}  // namespace ebbwise

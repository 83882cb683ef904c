#include "history/store.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
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

// Text of a column, or nothing when it holds NULL.
std::optional<std::string> text(sqlite3_stmt* stmt, int column) {
  const auto* bytes = sqlite3_column_text(stmt, column);
  if (bytes == nullptr) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(bytes),
                     static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
}

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
    "PRAGMA page_count",
};

// The tables the history is made of, with their columns in order.
struct TableShape {
  const char* name;
  std::array<std::string_view, 5> columns;
  std::size_t count;
};
constexpr TableShape kTables[] = {
    {"battery", {"ts", "dt", "pct", "watts", "on_ac"}, 5},
    {"app_energy", {"ts", "app", "joules"}, 3},
    {"app_meta", {"app", "bundle_path"}, 2},
};

// A statement of its own for one check, finalized when it ends.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
      sqlite3_finalize(stmt_);
      stmt_ = nullptr;
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

// Whether whatever the file holds under the history's table names can be
// used: a plain table with exactly the history's columns, or nothing yet
// (the schema script creates it). A view or a virtual table there could run
// anything on the first query, and other columns would make every statement
// fail or mean something else. A file whose schema cannot be read is not
// used either.
bool hasHistoryShape(sqlite3* db) {
  for (const TableShape& table : kTables) {
    Statement object(db,
                     "SELECT type, sql FROM sqlite_master WHERE name=?1 COLLATE NOCASE "
                     "AND type IN ('table','view')");
    if (!object.get() ||
        sqlite3_bind_text(object.get(), 1, table.name, -1, SQLITE_STATIC) != SQLITE_OK) {
      return false;
    }
    int rc = sqlite3_step(object.get());
    if (rc == SQLITE_DONE) continue;
    if (rc != SQLITE_ROW) return false;
    const std::string type = text(object.get(), 0).value_or("");
    const std::string sql = text(object.get(), 1).value_or("");
    if (type != "table" || startsWithIgnoringCase(sql, "create virtual")) return false;

    Statement columns(db, "SELECT name, hidden FROM pragma_table_xinfo(?1)");
    if (!columns.get() ||
        sqlite3_bind_text(columns.get(), 1, table.name, -1, SQLITE_STATIC) != SQLITE_OK) {
      return false;
    }
    std::size_t i = 0;
    while ((rc = sqlite3_step(columns.get())) == SQLITE_ROW) {
      if (i >= table.count || text(columns.get(), 0) != table.columns[i] ||
          sqlite3_column_int(columns.get(), 1) != 0) {
        return false;
      }
      ++i;
    }
    if (rc != SQLITE_DONE || i != table.count) return false;
  }
  return true;
}

// A statement's work is bounded by the size of the file it reads: every
// statement of the store runs through its rows a bounded number of times, so
// a budget of virtual-machine steps per page of the file never stops one that
// does its job, and stops anything else (a query that would never end) in a
// time that grows only with the file. The heaviest statement, deleting every
// app row, takes about 600 steps a page; the budget leaves a wide margin.
// The progress handler counts the steps in groups of this many.
constexpr int kProgressPeriod = 1000;
constexpr std::uint64_t kBaseSteps = 10'000'000;
constexpr std::uint64_t kStepsPerPage = 10'000;

bool isBusy(int rc) {
  rc &= 0xFF;
  return rc == SQLITE_BUSY || rc == SQLITE_LOCKED;
}

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
  Use(Store& store, Sql sql) : stmt_(store.statement(sql)) { store.startBudget(); }
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

  if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
    sqlite3_close(db_);
    db_ = nullptr;
    return;
  }
  // The store's statements need no trigger, view or function with side
  // effects; whatever a file brings of them stays inert.
  sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  sqlite3_progress_handler(db_, kProgressPeriod, &Store::onProgress, this);

  startBudget();
  bool usable = hasHistoryShape(db_);
  if (usable) {
    // Only a file SQLite cannot read as a database closes the store; other
    // failures (a lock held by another program while switching to WAL) leave
    // whatever the file already holds usable.
    startBudget();
    int rc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
    usable = rc != SQLITE_NOTADB && rc != SQLITE_CORRUPT;
  }
  if (!usable) {
    sqlite3_close(db_);
    db_ = nullptr;
    return;
  }
  if (durability == Durability::scratch) {
    sqlite3_exec(db_, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
  }
  refreshPages();
}

bool Store::isWritable() const {
  return db_ != nullptr && sqlite3_db_readonly(db_, "main") == 0;
}

Store::~Store() {
  writePending();
  for (sqlite3_stmt* stmt : statements_) sqlite3_finalize(stmt);
  if (db_ != nullptr) sqlite3_close(db_);
}

void Store::startBudget() {
  progressCalls_ = 0;
  progressLimit_ = (kBaseSteps + kStepsPerPage * pages_) / kProgressPeriod;
}

void Store::refreshPages() {
  Use use(*this, kPageCount);
  if (use && sqlite3_step(use.get()) == SQLITE_ROW) {
    pages_ =
        static_cast<std::uint64_t>(std::max<sqlite3_int64>(0, sqlite3_column_int64(use.get(), 0)));
  }
}

int Store::onProgress(void* store) {
  auto* self = static_cast<Store*>(store);
  return ++self->progressCalls_ > self->progressLimit_ ? 1 : 0;
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
  pending_.push_back(record);
  if (pending_.size() > kPendingLimit) pending_.pop_front();
  writePending();
}

void Store::writePending() {
  if (db_ == nullptr) return;
  bool wrote = false;
  while (!pending_.empty()) {
    const Outcome outcome = writeOne(pending_.front());
    if (outcome == Outcome::busy) break;
    wrote = wrote || outcome == Outcome::stored;
    pending_.pop_front();
  }
  if (wrote) refreshPages();
}

Store::Outcome Store::writeOne(const HistoryRecord& record) {
  // A transaction still open here would carry this minute, and every later
  // one, into a commit that may never come.
  rollback();
  bool stored = run(kBegin, {});
  if (stored) {
    stored = run(kInsertBattery,
                 {record.ts, record.dt, record.percent, record.watts, record.onAC ? 1.0 : 0.0});
  }
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
  if (stored) return Outcome::stored;
  // Whether another program held the file, before the rollback clears the code.
  const bool busy = isBusy(sqlite3_errcode(db_));
  // A minute is stored whole or not at all; a failed COMMIT leaves the
  // transaction open, so end it here.
  rollback();
  return busy ? Outcome::busy : Outcome::failed;
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

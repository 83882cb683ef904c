#pragma once

// History storage: the SQLite database of minute records and per-app energy,
// kept for 90 days, and its queries.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_record.h"
#include "sys/environment.h"

struct sqlite3;
struct sqlite3_stmt;

namespace ebbwise {

// The minute-by-minute history in one SQLite database. It never reports an
// error: when the database cannot be opened or a statement fails, writes are
// dropped and reads come back zero, empty or absent.
class Store {
 public:
  // How far each commit goes. The history the program keeps waits for the
  // disk at every minute it writes; a scratch history that is started afresh
  // on every run (the simulator's) has nothing to lose in a crash and leaves
  // the writing to the system.
  enum class Durability { full, scratch };

  // A store without a database: every write is dropped, every read is empty.
  Store() = default;
  // Creates the parent folder, opens (or creates) the database and its schema.
  // A file that is not an SQLite database, or whose tables are not plain
  // tables with the history's columns (a view, a virtual table, other
  // columns), is left untouched and the store stays closed.
  explicit Store(const std::string& path, Durability durability = Durability::full);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // The history file under the platform's application-data folder;
  // EBBWISE_DATA_DIR, when set, stands in for that folder. Nothing when
  // neither is known.
  static std::optional<std::string> defaultURL(sys::Environment& environment);

  // One minute in one transaction. Another program holding the file (a
  // reader in rollback-journal mode, a backup, another writer) is waited for
  // a moment; when it is still busy the minute is kept and stored before the
  // next one, so a second reader costs nothing. A minute that fails for any
  // other reason is rolled back and dropped whole; the next one starts afresh.
  void write(const HistoryRecord& record);
  void rememberBundle(std::string_view app, std::string_view path);
  void deleteOlderThan(double ts);

  double drainedJoules(double since);
  double secondsOnBattery(double since);
  // Rows whose app name is NULL (only a hand-edited file holds them) are skipped.
  std::map<std::string, double> appJoulesOnBattery(double since);
  std::vector<BatteryPoint> batteryPoints(double since);
  std::optional<double> lastPluggedIn();

  struct FirstOnBattery {
    double ts = 0;
    double dt = 0;
    double percent = 0;
  };
  std::optional<FirstOnBattery> firstOnBattery(double after);

  struct LastRecord {
    double ts = 0;
    bool onAC = false;
  };
  std::optional<LastRecord> lastRecord();

  // Rows with a NULL app or path are skipped.
  std::map<std::string, std::string> bundlePaths();

  // Whether the database is open; a store that is not does nothing.
  bool isOpen() const { return db_ != nullptr; }
  // Minutes waiting for the file to be free.
  std::size_t pendingMinutes() const { return pending_.size(); }

  // How long a statement waits for a lock another program holds.
  static constexpr int kBusyTimeoutMs = 1000;
  // The most minutes kept while the file is busy: a day.
  static constexpr std::size_t kPendingLimit = 1440;

  // Whether minutes can be written: open, and not read-only.
  bool isWritable() const;
  // The file it was asked to keep the history in.
  const std::string& path() const { return path_; }

 private:
  enum Sql : std::size_t {
    kBegin,
    kCommit,
    kRollback,
    kInsertBattery,
    kInsertApp,
    kRememberBundle,
    kDeleteBattery,
    kDeleteApps,
    kDrained,
    kSecondsOnBattery,
    kAppJoules,
    kBatteryPoints,
    kLastPluggedIn,
    kFirstOnBattery,
    kLastRecord,
    kBundlePaths,
    kPageCount,
    kSqlCount
  };

  enum class Outcome { stored, busy, failed };

  class Use;  // a cached statement, reset when the use ends

  // The statement, prepared on first use and kept; null when it cannot be
  // prepared (closed store, missing table).
  sqlite3_stmt* statement(Sql sql);
  // Binds `args` as doubles and steps until done; false on any failure.
  bool run(Sql sql, std::initializer_list<double> args);
  double sum(Sql sql, double since);
  void rollback();
  Outcome writeOne(const HistoryRecord& record);
  // Stores the kept minutes, oldest first, until the file is busy.
  void writePending();
  // Starts the step budget of one operation, from the file's last known size.
  void startBudget();
  void refreshPages();
  static int onProgress(void* store);

  std::string path_;
  sqlite3* db_ = nullptr;
  std::array<sqlite3_stmt*, kSqlCount> statements_{};
  std::deque<HistoryRecord> pending_;
  std::uint64_t progressCalls_ = 0;  // of the current operation
  std::uint64_t progressLimit_ = 0;
  std::uint64_t pages_ = 0;  // the file's size when last looked at
};

}  // namespace ebbwise

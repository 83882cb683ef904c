#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/history_record.h"
#include "sys/environment.h"

struct sqlite3;

namespace ebbwise {

// The minute-by-minute history in one SQLite database. It never reports an
// error: when the database cannot be opened or a statement fails, writes are
// dropped and reads come back zero, empty or absent.
class Store {
 public:
  // Creates the parent folder, opens (or creates) the database and its schema.
  explicit Store(const std::string& path);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // The history file under the platform's application-data folder;
  // EBBWISE_DATA_DIR, when set, stands in for that folder. Nothing when
  // neither is known.
  static std::optional<std::string> defaultURL(sys::Environment& environment);

  void write(const HistoryRecord& record);
  void rememberBundle(std::string_view app, std::string_view path);
  void deleteOlderThan(double ts);

  double drainedJoules(double since);
  double secondsOnBattery(double since);
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

  std::map<std::string, std::string> bundlePaths();

  // Whether the database is open; a store that is not does nothing.
  bool isOpen() const { return db_ != nullptr; }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace ebbwise

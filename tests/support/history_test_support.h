#pragma once

#include <sqlite3.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sensors/power/battery_reading.h"
#include "sensors/processes/process_key.h"
#include "accounting/tracker_readers.h"

namespace ebbwise::test {

// A fresh folder under the system's temporary folder, removed when the test ends.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ebbwise-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A connection of its own to a history file, as another program would open it.
class RawDatabase {
 public:
  explicit RawDatabase(const std::string& path) { sqlite3_open(path.c_str(), &db_); }
  ~RawDatabase() { sqlite3_close(db_); }
  int exec(const std::string& sql) {
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  }
  // Column 0 of the first row as text; nothing without a row or for NULL.
  std::optional<std::string> text(const std::string& sql) {
    std::optional<std::string> result;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL) {
      result = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
    return result;
  }
  // The same as a number (15 significant digits); NaN for nothing.
  double number(const std::string& sql) { return std::stod(text(sql).value_or("nan")); }

 private:
  sqlite3* db_ = nullptr;
};

inline BatteryReading reading(bool onAC, double percent = 80, double watts = -10) {
  return BatteryReading::make(percent, 40, watts, onAC, false, std::nullopt, std::nullopt);
}

// Readers whose next answers a test sets. Processes not in `identities` are "app <pid>".
struct FakeReaders {
  std::optional<SystemEnergy> system;
  std::optional<ChipEnergy> chip;
  std::unordered_map<std::int32_t, std::uint64_t> gpu;
  std::map<std::int32_t, AppIdentity> identities;

  TrackerReaders readers() {
    return {[this] { return chip; }, [this] { return gpu; }, [this] { return system; },
            [this](std::int32_t pid) {
              auto it = identities.find(pid);
              if (it != identities.end()) return it->second;
              return AppIdentity{"app " + std::to_string(pid), std::nullopt, false};
            }};
  }
};

// Cumulative energy counters of running processes, keyed by pid.
struct ProcessCounters {
  std::map<std::int32_t, ProcessSample> live;

  void start(std::int32_t pid, std::uint64_t startTime = 1, double joules = 0) {
    live[pid] = ProcessSample{ProcessKey{pid, startTime}, static_cast<std::uint64_t>(joules * 1e9)};
  }
  void use(std::int32_t pid, double joules) {
    live.at(pid).energyNJ += static_cast<std::uint64_t>(joules * 1e9 + 0.5);
  }
  std::vector<ProcessSample> samples() const {
    std::vector<ProcessSample> result;
    for (const auto& entry : live) result.push_back(entry.second);
    return result;
  }
};

}  // namespace ebbwise::test

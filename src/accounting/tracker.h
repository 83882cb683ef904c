#pragma once

// Energy accounting: the tick that turns samples into rolling power, the
// on-battery session, per-app energy, minute records and heavy-app alerts;
// the split into displayed rows and the since-charge ledger.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "accounting/energy_tracker.h"
#include "accounting/heavy_app_alert.h"
#include "accounting/heavy_app_detector.h"
#include "accounting/minute_bucket.h"
#include "accounting/rolling_watts.h"
#include "accounting/session.h"
#include "accounting/tracker_readers.h"
#include "history/store.h"
#include "sensors/power/battery_reading.h"
#include "sensors/power/chip_energy.h"
#include "sensors/processes/app_identity.h"
#include "sensors/processes/process_key.h"
#include "sys/date.h"

namespace ebbwise {

// The accounting core. Each tick turns one battery reading and one scan of
// the process energy counters (plus the chip, GPU and whole-system readers)
// into per-app and per-process power, the on-battery session, minute records
// in the history and heavy-app alerts. The queries read what the last ticks
// left behind; none of them changes anything.
class Tracker {
 public:
  static constexpr double interval = 5.0;           // seconds between ticks
  static constexpr double keepHistory = 7'776'000;  // 90 days of history, in seconds

  using AppWatts = std::vector<std::pair<std::string, double>>;
  using ProcessWatts = std::vector<std::pair<std::int32_t, double>>;

  // Prunes history older than `keepHistory`, loads the known bundle paths and
  // looks for an on-battery session that was running when the program last
  // stopped. A null store is a store that keeps nothing.
  Tracker(std::unique_ptr<Store> store, sys::Date now, std::uint64_t countFromZeroAfter,
          TrackerReaders readers);

  // Accounts one scan; returns the heavy-app alerts it raised (usually none).
  // A tick whose date is not finite changes nothing.
  std::vector<HeavyAppAlert> tick(sys::Date now, const BatteryReading& battery,
                                  const std::vector<ProcessSample>& samples);

  // Writes the partial minute; called when the program is about to end.
  void flush();

  // The on-battery session the history shows as still running at `now`: its
  // last row is on battery and less than 15 minutes old.
  static std::optional<Session> restoreSession(Store& store, sys::Date now);

  // State the application reads.
  const std::optional<Session>& session() const { return session_; }
  const std::optional<BatteryReading>& battery() const { return battery_; }
  const std::unordered_set<std::string>& devRows() const { return devRows_; }
  const std::map<std::string, std::string>& bundlePaths() const { return bundlePaths_; }
  // The system power outside the chip over the last tick; absent when that
  // tick was not accounted or had no system meter reading.
  std::optional<double> lastOffChipWatts() const { return lastOffChipWatts_; }
  double lastChargeWatts() const { return lastChargeWatts_; }
  // The application sets the alert threshold through it.
  HeavyAppDetector& detector() { return detector_; }
  const HeavyAppDetector& detector() const { return detector_; }
  Store& store() { return *store_; }

  // Queries.

  // Minutes until empty from the 15-minute drain, else the system's own estimate.
  std::optional<double> minutesLeft() const;
  std::optional<double> averageDrainWatts15() const;
  std::optional<double> nowDrainWatts() const;
  std::optional<double> nowUsedWatts() const;
  // Charger input while on AC; absent on battery and on a model whose
  // system meter cannot read the charger's power.
  std::optional<double> nowInWatts() const;
  const std::unordered_map<std::string, double>& appWatts() const { return nowApps_.values(); }
  // Each app's power over the last accounted tick alone: its energy in that
  // tick over the tick's length, without the 30-second window's lag.
  std::unordered_map<std::string, double> tickAppWatts() const;
  const std::unordered_map<ProcessKey, double>& processWatts() const {
    return nowProcesses_.values();
  }
  // The chip's parts in watts over the last 30 seconds; absent until chip
  // energy has been read once.
  std::optional<ChipEnergy> chipWatts() const;
  double billedGraphicsWatts() const;
  // Apps that drew at least `threshold` watts over the last minute, highest
  // first; nothing until nearly a minute has been seen since the last gap.
  AppWatts hogs(double threshold) const;
  // The heaviest processes of `app`, as (pid, watts), highest first.
  ProcessWatts topProcesses(const std::string& app, std::size_t limit) const;
  // The same with each process's start time, which tells it apart from a
  // later process that reuses its pid.
  std::vector<std::pair<ProcessKey, double>> topProcessKeys(const std::string& app,
                                                            std::size_t limit) const;
  std::optional<std::string> rowName(std::int32_t pid) const;
  bool isDevTool(const std::string& app) const { return devRows_.contains(app); }

 private:
  using Joules = std::unordered_map<std::string, double>;

  // Adds the chip's graphics energy to the processes that used the GPU since
  // the previous tick, in proportion to their GPU time, and lists each share
  // in `billedShares_`; returns what was billed.
  double billGraphics(const std::optional<ChipEnergy>& chip,
                      std::unordered_map<std::int32_t, std::uint64_t> gpu,
                      const std::vector<ProcessSample>& samples,
                      std::unordered_map<ProcessKey, double>& deltas);
  // The app a process belongs to, naming it on first sight.
  const AppIdentity& identity(const ProcessKey& key);
  bool useQuick() const;
  const RollingWatts<std::string>& drainWindow() const {
    return useQuick() ? quickDrain_ : nowDrain_;
  }

  std::unique_ptr<Store> store_;
  std::optional<Session> session_;
  std::optional<BatteryReading> battery_;
  std::unordered_set<std::string> devRows_;
  std::map<std::string, std::string> bundlePaths_;
  HeavyAppDetector detector_{2.0, 180.0, 1800.0};
  EnergyTracker energy_;
  std::unordered_map<ProcessKey, AppIdentity> names_;
  std::function<AppIdentity(std::int32_t)> identify_;
  MinuteBucket bucket_;
  std::optional<sys::Date> lastTick_;
  std::optional<bool> wasOnAC_;
  RollingWatts<std::string> longDrain_{900.0};
  RollingWatts<std::string> nowDrain_{30.0};
  RollingWatts<std::string> quickDrain_{5.0};
  std::optional<sys::Date> lastSwitch_;
  std::optional<sys::Date> lastTickDate_;
  RollingWatts<std::string> nowApps_{30.0};
  RollingWatts<ProcessKey> nowProcesses_{30.0};
  RollingWatts<std::string> minuteApps_{60.0};
  std::optional<Session> restored_;
  std::function<std::optional<ChipEnergy>()> readChip_;
  std::function<std::unordered_map<std::int32_t, std::uint64_t>()> readGPU_;
  std::function<std::optional<SystemEnergy>()> readSystem_;
  std::optional<double> lastOffChipWatts_;
  double lastChargeWatts_ = 0;
  std::unordered_map<std::int32_t, std::uint64_t> lastGPU_;
  std::vector<std::pair<ProcessKey, double>> billedShares_;  // this tick's graphics billing
  RollingWatts<std::string> nowChip_{30.0};
  bool hasChipData_ = false;
  bool hasSystemSensor_ = false;
  bool hasChargerSensor_ = false;  // the meter has read the charger's power
};

}  // namespace ebbwise

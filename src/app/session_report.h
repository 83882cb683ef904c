#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/activity_report.h"
#include "app/calibration_outcome.h"
#include "app/charge_report.h"
#include "app/day_log.h"
#include "app/monitor.h"
#include "app/panel_texts.h"
#include "sys/value.h"

namespace ebbwise {

// What the headless report shows: the on-battery session's energy per app,
// the drain, the time left and the live breakdown, optionally with what
// really happened beside each figure (known only on a simulated machine).
struct SessionReport {
  struct App {
    std::string name;
    double joules = 0;
    double graphicsJoules = 0;  // the part of `joules` billed from the GPU
    double share = 0;           // of the session's battery energy
    std::optional<double> trueJoules;
    std::optional<double> trueGraphicsJoules;
  };
  struct Row {
    std::string name;
    double watts = 0;
    double fraction = 0;
    std::optional<double> trueWatts;  // where the machine knows the row's part
  };
  // A hardware row's energy since the calibration, beside the part's truth.
  struct HardwareEnergy {
    std::string name;
    double joules = 0;
    double trueJoules = 0;
  };

  std::string machine;                 // what ran: a scenario name, or the host
  double seconds = 0;                  // how long the report ran
  std::optional<sys::Date> startedAt;  // the run's first tick, on the machine's clock
  bool hasBattery = false;
  std::optional<double> percent;
  bool onAC = false;
  std::optional<double> sessionSeconds;
  std::optional<double> sessionStartPercent;
  double batteryJoules = 0;  // drawn during the session
  std::optional<double> nowDrainWatts;
  std::optional<double> averageDrainWatts15;
  std::optional<double> minutesLeft;
  std::vector<App> apps;  // every app of the session, highest first
  std::vector<Row> rows;  // the live breakdown, highest first

  // What the notch and the menu bar show at the end.
  PanelTexts panels;
  std::vector<std::string> playingApps;  // the apps playing sound, by row name
  // The stretch on battery the session covers: open while on battery, closed
  // at the plug (known when the run saw it).
  std::optional<DayLog::Stretch> stretch;
  // How the run went.
  std::vector<DayLog::Event> events;
  std::size_t eventsLeftOut = 0;

  std::optional<double> trueSystemJoules;  // over the session's accounted time
  std::optional<double> trueMinutesLeft;
  // Each time the battery ran out during the run and the Mac hibernated:
  // seconds after the run started, and for how long (absent when it was
  // still off at the end).
  struct RunOut {
    double afterSeconds = 0;
    std::optional<double> hibernatedSeconds;
  };
  std::vector<RunOut> batteryRanOut;
  std::optional<CalibrationOutcome> calibration;
  std::vector<HardwareEnergy> hardwareEnergy;

  // Charging, heat and what hangs off the Mac (its own JSON fields).
  ChargeReport charge;
  // The ledger since the last charge, alerts and Low Power Mode.
  ActivityReport activity;

  // How far the time left is off the true one, as a fraction of it: positive
  // when it promises too much. Nothing without both figures.
  std::optional<double> minutesLeftError() const;

  // The monitor's published state after a run of `seconds`.
  static SessionReport from(const Monitor& monitor, std::string machine, double seconds);
  // Adds how the run went, from a log kept through it.
  void add(const DayLog& log);

  // A readable table; `appLimit` apps are listed, the rest are summed.
  std::string table(std::size_t appLimit = 12) const;
  sys::Value json() const;

 private:
  std::string estimateError() const;
  // The session's headline: when it ran, from and to what percent, and the
  // energy drawn.
  std::string stretchText() const;
};

}  // namespace ebbwise

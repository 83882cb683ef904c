#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "display_rules/fullscreen_style.h"
#include "display_rules/line_theme.h"
#include "sensors/power/charge_flow.h"
#include "sys/image.h"
#include "ui/color.h"
#include "ui/drain_chart.h"
#include "ui/notch_view.h"
#include "ui/since_charge_bars.h"

namespace ebbwise::ui {

// What a row the user may stop says about its processes: developer tools,
// coding-agent sessions and heavy apps.
struct RowFacts {
  std::optional<std::string> folder;        // a coding-agent session's working folder
  std::optional<double> startedMinutesAgo;  // when it started
  std::optional<double> runningMinutes;     // how long it has run
  int processes = 0;                        // besides the session itself; 0 for one process
  int childTasks = 0;                       // tasks it started that can be stopped
  bool orphaned = false;                    // what started it has closed
  bool forceStop = false;                   // a plain stop was tried and failed
  bool canStop = true;                      // a stop would signal something
  friend bool operator==(const RowFacts&, const RowFacts&) = default;
};

// One row of the app lists.
struct PanelRow {
  std::string name;
  double fraction = 0;                               // share of the total, 0 to 1
  std::optional<double> watts;                       // power now
  std::optional<double> joules;                      // energy over the range (the full list)
  std::optional<Color> color;                        // the row's chart colour
  std::optional<RowFacts> facts;                     // development sessions
  std::shared_ptr<const sys::Image> icon = nullptr;  // the app's own icon, when it has one
  friend bool operator==(const PanelRow&, const PanelRow&) = default;
};

// A connected accessory's battery, as the footer shows it.
struct PanelDevice {
  std::string name;
  std::string symbol;
  std::vector<std::pair<std::string, int>> levels;  // label ("" main, "L", "R", "case"), percent
  friend bool operator==(const PanelDevice&, const PanelDevice&) = default;
};

// What the calibration has learned and whether a run is asked for or under way.
struct PanelCalibration {
  bool screenMeasured = false;
  std::optional<double> screenWattsNow;   // at the current brightness
  std::optional<double> screenWattsFull;  // at full brightness
  std::optional<double> speakerWatts;     // while switched on; absent until measured
  bool isCalibrating = false;
  double progress = 0;  // 0 to 1
  bool isAskingToCalibrate = false;
  long long totalSeconds = 0;
  std::optional<std::string> error;
  std::optional<std::string> speakerNote;
  friend bool operator==(const PanelCalibration&, const PanelCalibration&) = default;
};

// The settings the panels' menus show.
struct PanelSettings {
  bool alertsOn = true;
  double alertWatts = 2;
  LineTheme lineTheme = LineTheme::battery;
  FullscreenStyle fullscreenStyle = FullscreenStyle::dim;
  bool showInMenuBar = false;
  bool demoNotch = false;
  bool launchAtLogin = false;
  bool hasNotch = true;
  int menuBarStyle = 2;  // 0 time left, 1 percent, 2 watts
  friend bool operator==(const PanelSettings&, const PanelSettings&) = default;
};

// Everything both panels show, as plain values the application model's
// adapter fills in. Absent fields are drawn as unknown.
struct PanelInput {
  NotchViewInput notch;  // battery, charging, net power, times, heavy apps, unit
  sys::Date now;

  // Charging.
  std::optional<ChargeFlow> chargeFlow;
  std::optional<std::string> chargerLabel;  // "Anker 96 W USB-C charger"
  std::optional<std::string> chargerNote;   // a weak charger or cable
  std::optional<std::string> smartChargingMessage;
  std::optional<std::string> smartChargingDetail;
  bool finishingSlowly = false;
  std::vector<std::pair<std::string, std::string>> heatWarnings;  // line, detail
  std::optional<double> fullMAh;  // the capacity average, else the battery's own

  // Rows worth a look now (already chosen), for the notch panel.
  std::vector<PanelRow> nowRows;
  std::optional<std::string> speakersKeptOnBy;  // the app keeping the speakers on

  std::optional<std::string> lowPowerError;
  std::optional<std::string> stopError;  // why the last stop signalled nothing
  std::string menuBarText;               // what the menu-bar item shows
  bool showHideBatteryIconTip = false;
  std::vector<PanelDevice> devices;
  PanelCalibration calibration;
  std::optional<double> brightness;  // 0 to 1
  PanelSettings settings;

  // The menu-bar panel: the chosen range (0 since unplug, 1 24 hours,
  // 2 7 days) and its figures.
  int range = 0;
  std::string statusLine;
  double rangeSeconds = 0;  // on battery within the range
  double rangeJoules = 0;
  std::optional<double> percentAtStart;
  std::optional<double> percentNow;
  bool hasSession = false;
  std::vector<PanelRow> shares;
  DrainChartInput chart;
  SinceChargeBarsInput bars;
};

}  // namespace ebbwise::ui

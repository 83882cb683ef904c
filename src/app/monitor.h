#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "accounting/energy_split.h"
#include "accounting/heavy_app_alert.h"
#include "accounting/session.h"
#include "accounting/tracker.h"
#include "app/charger_and_devices.h"
#include "app/chart_history.h"
#include "app/defaults_writer.h"
#include "app/fullscreen_check.h"
#include "app/heavy_app_notifier.h"
#include "app/history_range.h"
#include "app/low_power_switch.h"
#include "app/monitor_settings.h"
#include "app/process_facts.h"
#include "app/process_stopper.h"
#include "app/row_icons.h"
#include "app/since_charge_recorder.h"
#include "app/tab_checks.h"
#include "calibration/hardware_measuring.h"
#include "history/history_record.h"
#include "history/store.h"
#include "sensors/hardware/keyboard_light.h"
#include "sensors/hardware/screen.h"
#include "sensors/power/battery_reading.h"
#include "sensors/power/capacity_average.h"
#include "sensors/power/charge_flow.h"
#include "sensors/power/live_charge.h"
#include "sensors/power/smart_charging.h"
#include "sys/platform.h"

namespace ebbwise {

// The application model: owns the tracker, drives it every 5 seconds on the
// platform's main loop, keeps the user's settings and publishes what the
// displays show. Everything runs on the main loop's thread. Published state
// is plain members; `changes` goes up whenever something is published, so
// observers know when to redraw.
class Monitor {
 public:
  static constexpr double kTickTolerance = 1.0;  // seconds a tick may come late
  static constexpr std::size_t kRowLimit = 5;    // app rows in the live breakdown
  static constexpr double kRowMinWatts = 0.1;
  // After a power-source change or a wake: this many extra ticks, this far apart.
  static constexpr int kFastTicks = 10;
  static constexpr double kFastTickSeconds = 1.0;
  // The fullscreen poll.
  static constexpr double kFullscreenSeconds = 0.5;
  static constexpr double kFullscreenTolerance = 0.15;
  // The chart records nothing this long after launch, while the tracker's
  // windows fill.
  static constexpr double kChartWarmUpSeconds = 10;
  // Where the capacity average is kept between runs.
  static constexpr const char* kCapacityKey = "capacityAverage";

  // Loads the settings, builds the tracker over the platform's default
  // readers with `store` as its history (a null store keeps nothing), wires
  // the power-source, workspace and system notifications and the fullscreen
  // poll, ticks once so the first figures exist, and starts the tick timer.
  Monitor(const sys::Platform& platform, std::unique_ptr<Store> store);
  ~Monitor();
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  // One sampling step. Skipped entirely when there is no battery reading.
  void tick();

  // Writes what the tracker holds of the current minute; call before exiting.
  void willTerminate();

  // Called after every tick that published (for observers that keep their
  // own records of each tick).
  void setTickObserver(std::function<void()> observer) { tickObserver_ = std::move(observer); }

  const Tracker& tracker() const { return *tracker_; }
  // The calibration: its models feed every tick's hardware rows.
  HardwareMeasuring& hardware() { return *hardware_; }
  const HardwareMeasuring& hardware() const { return *hardware_; }

  // Ticks every second for the next ten seconds, replacing a burst still
  // running; the 5-second timer goes on meanwhile.
  void scanFastForAWhile();

  // The panel opened or closed. Opening it reloads the history range and the
  // accessory list; while it is open every tick keeps the accessories fresh.
  void setPanelOpen(bool open);

  // Net power into the battery as the last tick published it: on the charger
  // the charge flow's, on battery minus the drain. Absent when unknown.
  std::optional<double> netBatteryWatts() const;
  std::optional<double> minutesToFull() const {
    return ChargerAndDevices::minutesToFull(battery, chargeFlow);
  }
  std::vector<HeatWarning::Message> heatWarnings() const {
    return power.heatWarnings(thermalState, battery);
  }

  // Settings. Each change is stored at once (only when it is a change); a
  // threshold that is not a finite number of watts above zero is refused and
  // the previous one kept.
  const MonitorSettings& settings() const { return settings_; }
  void setShowInMenuBar(bool show);
  void setUnit(PowerUnit unit);
  void setLineTheme(LineTheme theme);
  void setFullscreenStyle(FullscreenStyle style);
  void setMenuBarStyle(MenuBarStyle style);
  void setDemoNotch(bool on);
  void setAlertsOn(bool on);
  bool setAlertWatts(double watts);
  bool showHideBatteryIconTip() const { return !settings_.batteryIconTipDone; }
  void hideBatteryIconTip();
  // Whether the notch is shown; also decides whether the menu-bar item is.
  bool hasNotch() const { return hasNotch_; }
  void setHasNotch(bool present);
  // Opening the application at login, as the login-item service has it.
  // Failures of the service are ignored.
  bool launchAtLogin() const;
  void setLaunchAtLogin(bool on);
  // What the settings and stored models cost the disk so far.
  const DefaultsWriter& defaultsWriter() const { return defaults_; }

  // The history range the panel shows; choosing one reloads its figures. A
  // name that is no range selects the on-battery range and returns false.
  HistoryRange range() const { return range_; }
  void setRange(HistoryRange range);
  bool setRange(std::string_view name);
  // Fills `history`, `shares`, `rangeSeconds`, `rangeJoules` and
  // `rangeAppJoules` for the selected range.
  void reloadHistory();

  // Processes -------------------------------------------------------------
  // The details of a process, fetched on first use and kept while the panel
  // is open and the process runs; nothing when it cannot be inspected.
  std::optional<ProcessDetails> details(std::int32_t pid);
  // What a stop of `row` would signal: its processes, heaviest first,
  // without coding-agent sessions.
  ProcessStopper::Targets stoppable(const std::string& row) const;
  // Stops the processes of `row` (terminate, or kill with `force`), each only
  // while it is still the process the row was built from. Says how many
  // were signalled and how many refused; `stopError` tells the user when
  // none could be (a row with nothing left to stop included).
  ProcessStopper::Outcome stop(const std::string& row, bool force);
  // Rows drawing more than the alert threshold that the user may stop.
  Tracker::AppWatts hogs() const;

  // Low Power Mode ----------------------------------------------------------
  // Asks the system to switch Low Power Mode (it asks for a password);
  // returns at once. `lowPowerOn` follows the system once the script is
  // done; a failure other than a cancelled prompt sets `lowPowerError`.
  void setLowPower(bool on);

  // What the menu-bar item shows.
  std::string menuBarText() const;

  // Opens the system setting where the system's own battery icon is hidden.
  // Says later, through `openedBatteryIconSettings`, whether it opened.
  void openBatteryIconSettings();
  std::optional<bool> openedBatteryIconSettings;
  static constexpr const char* kBatteryIconSettingsURL =
      "x-apple.systempreferences:com.apple.ControlCenter-Settings.extension";

  // The chart's colours follow the row icons: runtime logos for developer
  // tools, the workspace's app icons for the rest. A lookup of a row's hue
  // replaces all of that; a reader of the hue of the icon at a path
  // replaces only the reading of app icons.
  void setIconHueLookup(ChartHistory::HueLookup lookup) { iconHue_ = std::move(lookup); }
  void setIconPixelHue(RowIcons::IconHue iconHue) { iconPixelHue_ = std::move(iconHue); }
  // The file whose icon a row shows, when there is one.
  std::optional<std::string> iconPath(const std::string& row) const {
    return RowIcons::iconPath(row, *tracker_, platform_.environment);
  }
  // The app's own icon for a row, from the workspace; null when it has none.
  std::shared_ptr<const sys::Image> icon(const std::string& row);
  // The dominant hue of a row's runtime logo or icon, worked out once.
  std::optional<double> iconHue(const std::string& row);

  struct LowPowerEvent {
    sys::Date at;
    bool on = false;
    friend bool operator==(const LowPowerEvent&, const LowPowerEvent&) = default;
  };
  struct RaisedAlert {
    sys::Date at;
    HeavyAppAlert alert;
  };

  // Published state.
  const sys::Date launchedAt;
  std::optional<sys::Date> lastTickAt;
  std::optional<BatteryReading> battery;
  std::optional<Session> session;
  std::optional<double> minutesLeft;
  std::optional<double> nowDrain;  // watts drawn from the battery, absent on AC
  std::optional<double> nowUsed;   // whole-system watts, when measured
  std::set<std::string> playingApps;
  std::optional<double> brightness;
  std::vector<RowWatts> nowRows;
  std::map<std::string, double> nowRowWatts;
  // Live watts of each row of the selected range's list.
  EnergySplit::WattsByName rowWatts;
  std::uint64_t changes = 0;

  // The selected range's figures.
  std::vector<BatteryPoint> history;
  std::vector<AppShare> shares;
  double rangeSeconds = 0;
  double rangeJoules = 0;
  std::unordered_map<std::string, double> rangeAppJoules;
  // The live chart of the last 15 minutes.
  ChartHistory chart;

  // Charge state.
  LiveCharge liveCharge;
  CapacityAverage capacity;
  std::optional<ChargeFlow> chargeFlow;        // on the charger, once its input is measured
  std::optional<SmartCharging> smartCharging;  // on the charger
  int thermalState = 0;
  bool lowPowerOn = false;
  // Switches of Low Power Mode seen while running, for the chart's last 15 minutes.
  std::vector<LowPowerEvent> lowPowerEvents;
  bool isFullscreen = false;
  std::vector<HardwareReading::USBDevice> usbRows;  // what the USB-C ports power
  bool panelOpen = false;
  // The message of the last Low Power Mode switch that failed.
  std::optional<std::string> lowPowerError;
  // Heavy-app alerts the tracker raised while alerts were on.
  std::vector<RaisedAlert> raisedAlerts;
  // The energy ledger of the stretch on battery since the last charge.
  SinceChargeRecorder sinceCharge;
  // Details of the processes the open panel shows.
  ProcessFacts processFacts;
  // Processes a stop was sent to (`stopper.stopping`), until they exit.
  ProcessStopper stopper;
  // Why the last stop signalled nothing, for the panel.
  std::optional<std::string> stopError;
  // Heavy-app notifications posted, and the service's last error.
  HeavyAppNotifier notifier;
  // Low Power Mode switches waiting for their password prompt.
  LowPowerSwitch lowPowerSwitch;
  // The charging flag, the charger's maker, USB names and accessories.
  ChargerAndDevices power;
  // Browsers playing sound and the media sites open in them.
  TabChecks tabs;
  // The icon hue of each charted row.
  RowIcons rowIcons;

 private:
  void loadSettings();
  void wire();
  void watchPowerSource();
  void watchWorkspace();
  void watchProcessInfo();
  void setLowPowerOn(bool on);
  void published();
  void requestNotificationPermission();
  void storeSetting(const char* key, sys::Value value);

  // The steps of a tick that act on the published figures.
  void notify(const HeavyAppAlert& alert);
  void refreshSessionShares();
  void followPlayingApps(sys::Date now);
  HardwareReading hardwareForSplit(const BatteryReading& reading, bool speakersOn);
  void recordForChart();
  void recordSinceCharge(const BatteryReading& reading, const std::vector<RowWatts>& split,
                         const EnergySplit::WattsByName& tickAppWatts);
  void refreshDetails();
  void checkFullscreen();
  void forgetExitedStops();
  void keepAlertDates(const std::vector<HeavyAppAlert>& alerts);

  sys::Platform platform_;
  DefaultsWriter defaults_;
  MonitorSettings settings_;
  bool hasNotch_ = false;
  HistoryRange range_ = HistoryRange::session;
  std::unique_ptr<Tracker> tracker_;
  std::unique_ptr<HardwareMeasuring> hardware_;
  Screen screen_;
  KeyboardLight keyboardLight_;
  FullscreenCheck fullscreen_;
  ChartHistory::HueLookup iconHue_;
  RowIcons::IconHue iconPixelHue_;
  sys::TaskID timer_ = 0;
  sys::TaskID fullscreenTimer_ = 0;
  sys::TaskID fastTicks_ = 0;
  int fastTicksLeft_ = 0;
  std::unique_ptr<sys::NotificationSource> powerSourceLoop_;
  std::vector<sys::ObserverID> workspaceObservers_;
  std::vector<sys::ObserverID> processInfoObservers_;
  std::function<void()> tickObserver_;
  // Answers that come back later check that the monitor still exists.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace ebbwise

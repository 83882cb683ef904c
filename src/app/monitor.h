#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "accounting/energy_split.h"
#include "accounting/session.h"
#include "accounting/tracker.h"
#include "calibration/hardware_measuring.h"
#include "history/store.h"
#include "sensors/hardware/keyboard_light.h"
#include "sensors/hardware/screen.h"
#include "sensors/power/battery_reading.h"
#include "sys/platform.h"

#include "app/charger_and_devices.h"
#include "app/tab_checks.h"
#include "sensors/power/capacity_average.h"
#include "sensors/power/charge_flow.h"
#include "sensors/power/live_charge.h"
#include "sensors/power/smart_charging.h"

namespace ebbwise {

// The application model: owns the tracker, drives it every 5 seconds on the
// platform's main loop and publishes what the displays show. Everything runs
// on the main loop's thread. Published state is plain members; `changes`
// goes up whenever a tick publishes, so observers know when to redraw.
class Monitor {
 public:
  static constexpr double kTickTolerance = 1.0;  // seconds a tick may come late
  static constexpr std::size_t kRowLimit = 5;    // app rows in the live breakdown
  static constexpr double kRowMinWatts = 0.1;
  // After a power-source change: this many extra ticks, this far apart.
  static constexpr int kFastTicks = 10;
  static constexpr double kFastTickSeconds = 1.0;
  // Where the capacity average is kept between runs.
  static constexpr const char* kCapacityKey = "capacityAverage";

  // Builds the tracker over the platform's default readers with `store` as
  // its history, ticks once so the first figures exist, and starts the tick
  // timer.
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

  // The panel opened or closed. While it is open every tick keeps the
  // accessory list fresh.
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

  // Published state.
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
  std::uint64_t changes = 0;

  // Charge state.
  LiveCharge liveCharge;
  CapacityAverage capacity;
  std::optional<ChargeFlow> chargeFlow;        // on the charger, once its input is measured
  std::optional<SmartCharging> smartCharging;  // on the charger
  int thermalState = 0;
  std::vector<HardwareReading::USBDevice> usbRows;  // what the USB-C ports power
  bool panelOpen = false;
  // The charging flag, the charger's maker, USB names and accessories.
  ChargerAndDevices power;
  // Browsers playing sound and the media sites open in them.
  TabChecks tabs;

 private:
  void watchPowerSource();
  void watchThermalState();
  void published();

  sys::Platform platform_;
  std::unique_ptr<Tracker> tracker_;
  std::unique_ptr<HardwareMeasuring> hardware_;
  Screen screen_;
  KeyboardLight keyboardLight_;
  sys::TaskID timer_ = 0;
  sys::TaskID fastTicks_ = 0;
  int fastTicksLeft_ = 0;
  std::unique_ptr<sys::NotificationSource> powerSourceLoop_;
  sys::ObserverID thermalObserver_ = 0;
  std::function<void()> tickObserver_;
};

}  // namespace ebbwise

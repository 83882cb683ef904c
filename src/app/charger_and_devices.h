#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "accounting/hardware_reading.h"
#include "sensors/devices/device_battery.h"
#include "sensors/power/battery_reading.h"
#include "sensors/power/charge_flow.h"
#include "sensors/power/heat_warning.h"
#include "sys/platform.h"

namespace ebbwise {

// What the monitor knows about the power source beyond the battery reading:
// whether the Mac is really charging (with hysteresis), the charger's maker,
// the names of the USB-C devices it powers, and the batteries of connected
// accessories. The slow probes (the hardware report tool, the registry's
// USB-C partners) run on a serial queue of their own and hand their results
// back to the main loop; `onChange` is called there when they arrive.
// Everything else runs on the main loop.
class ChargerAndDevices {
 public:
  static constexpr const char* kQueueLabel = "joulemark.devices";
  // The accessory list is read again at most this often while wanted.
  static constexpr double kDeviceRefreshSeconds = 180;

  ChargerAndDevices(const sys::Platform& platform, std::function<void()> onChange);
  ~ChargerAndDevices();
  ChargerAndDevices(const ChargerAndDevices&) = delete;
  ChargerAndDevices& operator=(const ChargerAndDevices&) = delete;

  // The charging flag as shown: off on battery, the battery's own flag until
  // the charger's input is measured, then the latch over the net battery power.
  void updateCharging(const std::optional<BatteryReading>& battery,
                      const std::optional<ChargeFlow>& flow);

  // Looks the charger's maker up again when the Mac went on or off the
  // charger: the partner on the lowest USB-C port the Mac does not power
  // itself.
  void updateChargerBrand(const BatteryReading& reading);

  // The USB-C power-out rows for the power split, named from the USB tree.
  // A change in the powered ports reads the tree again; its names arrive a
  // tick or more later, and until then the rows keep the names known before.
  std::vector<HardwareReading::USBDevice> usbRows(const BatteryReading& reading);

  // Reads the connected accessories again, unless `force` is off and the last
  // read is less than `kDeviceRefreshSeconds` old.
  void refreshDevices(bool force);

  // Minutes until full at the present net charge; nothing off the charger,
  // without a charge flow, at a full battery or while hardly charging.
  static std::optional<double> minutesToFull(const std::optional<BatteryReading>& battery,
                                             const std::optional<ChargeFlow>& flow);

  // The heat warnings for a thermal state and the battery's temperature.
  std::vector<HeatWarning::Message> heatWarnings(
      int thermalState, const std::optional<BatteryReading>& battery) const;

  // Published state.
  bool isChargingNow = false;
  ChargingLatch chargingLatch;
  std::optional<std::string> chargerBrand;
  std::optional<bool> lastOnAC;
  std::set<std::int64_t> usbPortsSeen;
  std::map<std::int64_t, std::vector<std::string>> usbNames;
  std::vector<DeviceBattery> devices;  // connected ones
  std::optional<sys::Date> devicesCheckedAt;

 private:
  // Runs `work` on the queue and `apply` with its result on the main loop,
  // unless this object is gone by then.
  template <typename Result>
  void probe(std::function<Result()> work, std::function<void(Result)> apply);

  sys::Platform platform_;
  std::function<void()> onChange_;
  std::unique_ptr<sys::SerialQueue> queue_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace ebbwise

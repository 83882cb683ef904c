#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/monitor.h"
#include "sensors/devices/device_battery.h"
#include "sensors/power/heat_warning.h"
#include "sys/value.h"

namespace ebbwise {

// The report's part about charging and what hangs off the Mac: the live
// charge and the long-run full capacity, the charge flow on the charger,
// smart charging, heat, the charger, connected accessories, the USB-C
// devices the Mac powers, and the media sites open in a browser that keeps
// the speakers on.
//
// JSON form (absent figures are null; lists may be empty):
//   "charge": {
//     "liveChargeMAh": the charge between the gauge's reports,
//     "reportedChargeMAh": the gauge's last report (whole mAh),
//     "capacityMeanMAh", "capacityEstimates": the full-capacity average and
//       how many estimates it holds,
//     "onAC", "charging": the charging flag as shown (with hysteresis),
//     "flow": null off the charger or before its input is measured, else
//       {"state": "charging"|"holding"|"draining", "inWatts", "usedWatts",
//        "batteryWatts", "minutesToFull"},
//     "smartCharging": null off the charger, else {"holding", "finishing",
//       "message", "detail"},
//     "charger": null off the charger, else {"label", "brand", "note",
//       "ratedWatts", "watts"},
//     "thermalState": 0 nominal … 3 critical, "batteryTemperatureC",
//     "heat": [{"line", "detail"}],
//     in simulation also "trueChargeMAh" and "trueFullMAh"
//   },
//   "devices": [{"name", "kind", "symbol", "levels": [{"label", "percent"}]}],
//   "usbDevices": [{"name", "watts"}],
//   "mediaSites": [{"browser", "sites": […], "advice"}]
struct ChargeReport {
  struct Flow {
    ChargeFlow flow;
    std::optional<double> minutesToFull;
  };
  struct Charger {
    std::string label;
    std::optional<std::string> brand;
    std::optional<std::string> note;
    std::optional<std::int64_t> ratedWatts;
    std::optional<std::int64_t> watts;
  };
  struct OpenMediaSites {
    std::string browser;
    std::vector<std::string> sites;
    std::string advice;
  };

  std::optional<double> liveChargeMAh;
  std::optional<std::int64_t> reportedChargeMAh;
  std::optional<double> capacityMeanMAh;
  std::int64_t capacityEstimates = 0;
  bool onAC = false;
  bool charging = false;
  std::optional<Flow> flow;
  std::optional<SmartCharging> smartCharging;
  std::optional<Charger> charger;
  int thermalState = 0;
  std::optional<double> batteryTemperatureC;
  std::vector<HeatWarning::Message> heat;
  std::vector<DeviceBattery> devices;
  std::vector<HardwareReading::USBDevice> usbDevices;
  std::vector<OpenMediaSites> mediaSites;

  std::optional<double> trueChargeMAh;  // known only on a simulated machine
  std::optional<double> trueFullMAh;

  static ChargeReport from(const Monitor& monitor);

  // Readable lines, each ending in a line break.
  std::string text() const;
  // The "charge" object; `addTo` puts it and the lists into a report.
  sys::Value json() const;
  void addTo(sys::Value& report) const;
};

}  // namespace ebbwise

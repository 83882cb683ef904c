#include "sim/sim_battery.h"

#include <algorithm>
#include <cmath>

namespace ebbwise::sim {

namespace {

// What the system publishes while it has no estimate.
constexpr std::int64_t kEstimating = 65535;

std::int64_t minutes(const std::optional<double>& m) {
  if (!m || !std::isfinite(*m)) return kEstimating;
  return std::clamp<std::int64_t>(std::llround(*m), 0, kEstimating - 1);
}

// The gauge's signed current as the registry hands it out: an unsigned
// 64-bit count, so a draining battery's current is its two's complement.
sys::Value registryCurrent(std::int64_t milliamps) {
  if (milliamps >= 0) return milliamps;
  return static_cast<std::uint64_t>(milliamps);
}

}  // namespace

int systemPercent(double rawPercent) {
  return static_cast<int>(std::clamp<long>(std::lround((rawPercent - 1) / 0.96), 0, 100));
}

int shownPercent(const MachineModel& model) {
  if (model.fullyCharged()) return 100;
  return systemPercent(model.gaugeCharge() / model.pack().fullCharge() * 100);
}

sys::Value batteryProperties(const MachineModel& model) {
  using sys::Value;
  const BatteryPack& pack = model.pack();
  const BatterySetup& setup = model.scenario().machine.battery;
  const double charge = model.charge();
  const double volts = pack.terminalVoltage(charge, model.batteryWatts());
  // The gauge's learned capacities wander around the pack's true one.
  const auto rawMax = static_cast<std::int64_t>(std::lround(model.capacityEstimate(0)));
  const auto nominal = static_cast<std::int64_t>(std::lround(model.capacityEstimate(1)));
  const auto rawCurrent = static_cast<std::int64_t>(std::lround(model.gaugeCharge() / 3.6));
  const bool onAC = model.charger().has_value();
  const bool full = model.fullyCharged();
  const auto millivolts = static_cast<std::int64_t>(std::lround(volts * 1000));
  const auto milliamps =
      static_cast<std::int64_t>(std::lround(model.batteryWatts() / volts * 1000));
  const int percent = shownPercent(model);

  Value d = Value::object();
  d["BatteryInstalled"] = true;
  d["ExternalConnected"] = onAC;
  d["ExternalChargeCapable"] = onAC;
  d["IsCharging"] = model.isCharging();
  d["FullyCharged"] = full;
  d["AtCriticalLevel"] = percent <= 1 && !onAC;
  d["CurrentCapacity"] = percent;
  d["MaxCapacity"] = 100;
  d["AppleRawCurrentCapacity"] = rawCurrent;
  d["AppleRawMaxCapacity"] = rawMax;
  d["NominalChargeCapacity"] = nominal;
  d["DesignCapacity"] = static_cast<std::int64_t>(std::lround(setup.designMAh));
  d["CycleCount"] = setup.cycleCount;
  d["Voltage"] = millivolts;
  d["AppleRawBatteryVoltage"] = millivolts;
  d["Amperage"] = registryCurrent(milliamps);
  d["InstantAmperage"] = registryCurrent(milliamps);
  d["CellVoltage"] =
      Value::array({millivolts / 3 + 2, millivolts / 3 - 1, millivolts - 2 * (millivolts / 3) - 1});
  d["Temperature"] = static_cast<std::int64_t>(std::lround(model.temperatureC() * 100));
  const std::int64_t toEmpty = minutes(model.systemMinutesToEmpty());
  const std::int64_t toFull = minutes(model.systemMinutesToFull());
  d["AvgTimeToEmpty"] = toEmpty;
  d["AvgTimeToFull"] = toFull;
  d["TimeRemaining"] = onAC ? toFull : toEmpty;
  d["DeviceName"] = "bq40z651";
  d["Manufacturer"] = "SMP";
  d["UpdateTime"] = static_cast<std::int64_t>(std::floor(model.date().secondsSince1970));
  if (const auto& charger = model.charger()) {
    const auto watts = static_cast<std::int64_t>(std::lround(charger->watts));
    d["AdapterDetails"] = {
        {"Name", charger->name},        {"Watts", watts},      {"AdapterVoltage", 20000},
        {"Current", watts * 1000 / 20}, {"IsWireless", false}, {"FamilyCode", -536854528},
        {"Description", "pd charger"},
    };
  }
  // Devices are fed from the system's power, so they show only while it runs.
  if (!model.usbDevices().empty() && model.partWatts(Part::usbC) > 0) {
    Value out = Value::array();
    for (const auto& [port, device] : model.usbDevices()) {
      const auto mw = static_cast<std::int64_t>(std::lround(device.watts * 1000));
      Value entry = {{"PortIndex", port}, {"PowerState", 1}};
      entry[device.reportsWatts ? "Watts" : "FilteredPower"] = mw;
      out.push_back(std::move(entry));
    }
    d["PowerOutDetails"] = std::move(out);
  }
  return d;
}

}  // namespace ebbwise::sim

#include "linux/battery_status.h"

#include <algorithm>
#include <cmath>

namespace ebbwise::linux_host {

namespace {

// What a Mac's battery publishes while it has no time estimate.
constexpr std::int64_t kMinutesUnknown = 65535;

// One battery in common units.
struct Cell {
  std::string status;
  std::optional<double> percent;
  std::optional<double> nowMAh, fullMAh, designMAh;
  std::optional<double> volts, presentVolts, watts;
  std::optional<std::int64_t> cycleCount;
  std::optional<double> temperatureC, minutesToEmpty, minutesToFull;
};

std::optional<double> micro(std::optional<std::int64_t> value) {
  if (!value) return std::nullopt;
  return static_cast<double>(*value) / 1e6;
}

// The battery's power with the sign its status implies: the magnitude is
// trusted, the sign is not (some firmware reports a positive current while
// discharging). With no flow in or out, there is none to report.
std::optional<double> signedByStatus(const std::string& status, std::optional<double> raw) {
  if (!raw) return std::nullopt;
  if (status == "Discharging") return -std::abs(*raw);
  if (status == "Charging") return std::abs(*raw);
  if (status == "Full" || status == "Not charging") return 0.0;
  return raw;  // "Unknown": the kernel's own convention, negative while discharging
}

Cell cellOf(const PowerSupply& s) {
  Cell c;
  c.status = s.status.empty() ? "Unknown" : s.status;
  if (s.capacityPercent) c.percent = static_cast<double>(*s.capacityPercent);
  c.presentVolts = micro(s.voltageNow);
  const auto design = s.voltageMinDesign ? s.voltageMinDesign : s.voltageMaxDesign;
  const std::optional<double> designVolts = micro(design ? design : s.voltageNow);

  // Milliampere-hours from µAh, or from µWh held at `volts`.
  auto mAh = [](std::optional<std::int64_t> value,
                std::optional<double> volts = 1.0) -> std::optional<double> {
    if (!value || !volts || !(*volts > 0)) return std::nullopt;
    return static_cast<double>(*value) / 1000 / *volts;
  };
  std::optional<double> rawWatts;
  if (s.chargeNow || s.chargeFull) {
    c.nowMAh = mAh(s.chargeNow);
    c.fullMAh = mAh(s.chargeFull);
    c.designMAh = mAh(s.chargeFullDesign);
    c.volts = c.presentVolts ? c.presentVolts : designVolts;
  } else if (s.energyNow || s.energyFull) {
    c.nowMAh = mAh(s.energyNow, designVolts);
    c.fullMAh = mAh(s.energyFull, designVolts);
    c.designMAh = mAh(s.energyFullDesign, designVolts);
    c.volts = designVolts;
  } else {
    c.volts = c.presentVolts ? c.presentVolts : designVolts;
  }
  if (s.powerNow) {
    rawWatts = micro(s.powerNow);
  } else if (s.currentNow && c.presentVolts) {
    rawWatts = *micro(s.currentNow) * *c.presentVolts;
  }
  c.watts = signedByStatus(c.status, rawWatts);
  c.cycleCount = s.cycleCount;
  if (s.temperatureTenths) c.temperatureC = static_cast<double>(*s.temperatureTenths) / 10;
  if (s.secondsToEmpty) c.minutesToEmpty = static_cast<double>(*s.secondsToEmpty) / 60;
  if (s.secondsToFull) c.minutesToFull = static_cast<double>(*s.secondsToFull) / 60;
  return c;
}

// The sum of one figure over all cells; nothing unless every cell has it.
template <typename Get>
std::optional<double> sum(const std::vector<Cell>& cells, Get get) {
  double total = 0;
  for (const Cell& c : cells) {
    const std::optional<double> v = get(c);
    if (!v) return std::nullopt;
    total += *v;
  }
  return total;
}

std::string combinedStatus(const std::vector<Cell>& cells) {
  auto any = [&](const char* s) {
    return std::any_of(cells.begin(), cells.end(), [&](const Cell& c) { return c.status == s; });
  };
  if (any("Charging")) return "Charging";
  if (any("Discharging")) return "Discharging";
  if (std::all_of(cells.begin(), cells.end(), [](const Cell& c) { return c.status == "Full"; })) {
    return "Full";
  }
  if (any("Not charging")) return "Not charging";
  return "Unknown";
}

std::optional<BatteryStatus::Adapter> adapterOf(const PowerSupply& s) {
  BatteryStatus::Adapter a;
  a.volts = micro(s.voltageMax ? s.voltageMax : s.voltageNow);
  a.amps = micro(s.currentMax);
  if (a.volts && a.amps) a.watts = *a.volts * *a.amps;
  const bool typeC = s.usbType == "PD" || s.usbType == "PD_PPS" || s.usbType == "PD_DRP" ||
                     s.usbType == "C" || s.type.starts_with("USB_PD") || s.type == "USB_C";
  std::string kind;
  if (typeC) {
    kind = "USB-C Power Adapter";
    a.description =
        s.usbType.starts_with("PD") || s.type.starts_with("USB_PD") ? "usb-c pd" : "usb-c";
  } else if (s.type.starts_with("USB")) {
    kind = "USB Power Adapter";
    a.description = "usb";
  } else if (s.type == "Wireless") {
    kind = "Wireless Charger";
    a.description = "wireless";
  } else {
    kind = "Power Adapter";
    a.description = "mains";
  }
  if (!s.model.empty()) {
    a.name = s.model;
  } else if (a.watts && *a.watts >= 0.5) {
    a.name = std::to_string(std::lround(*a.watts)) + "W " + kind;
  } else {
    a.name = kind;
  }
  return a;
}

std::int64_t whole(double value) {
  return static_cast<std::int64_t>(std::llround(value));
}

}  // namespace

std::optional<BatteryStatus> BatteryStatus::of(const std::vector<PowerSupply>& supplies) {
  std::vector<Cell> cells;
  const PowerSupply* first = nullptr;
  bool anyAdapter = false;
  std::optional<Adapter> best;
  for (const PowerSupply& s : supplies) {
    if (s.isSystemBattery()) {
      cells.push_back(cellOf(s));
      if (!first) first = &s;
    } else if (s.isAdapter()) {
      anyAdapter = true;
      if (s.online != true) continue;
      auto a = adapterOf(s);
      if (!best || a->watts.value_or(0) > best->watts.value_or(0)) best = std::move(a);
    }
  }
  if (cells.empty()) return std::nullopt;

  BatteryStatus b;
  b.status = combinedStatus(cells);
  // Without any adapter device to ask, the battery's status is the only
  // sign of external power; a charging battery is fed by something either way.
  b.externalConnected = best.has_value() || b.status == "Charging" ||
                        (!anyAdapter && (b.status == "Full" || b.status == "Not charging"));
  if (b.externalConnected) b.adapter = std::move(best);
  b.model = first->model;
  b.manufacturer = first->manufacturer;

  if (cells.size() == 1) {
    const Cell& c = cells.front();
    b.percent = c.percent;
    b.nowMAh = c.nowMAh;
    b.fullMAh = c.fullMAh;
    b.designMAh = c.designMAh;
    b.volts = c.volts;
    b.presentVolts = c.presentVolts;
    b.watts = c.watts;
    b.cycleCount = c.cycleCount;
    b.temperatureC = c.temperatureC;
    b.minutesToEmpty = c.minutesToEmpty;
    b.minutesToFull = c.minutesToFull;
  } else {
    // Batteries side by side: charges and powers add up; the voltage is
    // their mean weighted by size. Time estimates of one pack say nothing
    // about the pair.
    b.nowMAh = sum(cells, [](const Cell& c) { return c.nowMAh; });
    b.fullMAh = sum(cells, [](const Cell& c) { return c.fullMAh; });
    b.designMAh = sum(cells, [](const Cell& c) { return c.designMAh; });
    b.watts = sum(cells, [](const Cell& c) { return c.watts; });
    const auto weighted = sum(cells, [](const Cell& c) -> std::optional<double> {
      if (!c.volts || !c.fullMAh) return std::nullopt;
      return *c.volts * *c.fullMAh;
    });
    if (weighted && b.fullMAh && *b.fullMAh > 0) b.volts = *weighted / *b.fullMAh;
    b.presentVolts = cells.front().presentVolts;
    if (b.nowMAh && b.fullMAh && *b.fullMAh > 0) b.percent = *b.nowMAh / *b.fullMAh * 100;
    for (const Cell& c : cells) {
      if (c.cycleCount) b.cycleCount = std::max(b.cycleCount.value_or(0), *c.cycleCount);
      if (c.temperatureC) b.temperatureC = std::max(b.temperatureC.value_or(-1e9), *c.temperatureC);
    }
  }
  if (!b.percent && b.nowMAh && b.fullMAh && *b.fullMAh > 0) {
    b.percent = std::min(*b.nowMAh / *b.fullMAh * 100, 100.0);
  }
  return b;
}

sys::Value BatteryStatus::properties() const {
  using sys::Value;
  Value d = Value::object();
  d["BatteryInstalled"] = true;
  d["ExternalConnected"] = externalConnected;
  d["ExternalChargeCapable"] = externalConnected;
  d["IsCharging"] = status == "Charging";
  d["FullyCharged"] = status == "Full";
  if (percent) d["CurrentCapacity"] = whole(std::clamp(*percent, 0.0, 100.0));
  d["MaxCapacity"] = 100;
  if (nowMAh) d["AppleRawCurrentCapacity"] = whole(*nowMAh);
  if (fullMAh) d["AppleRawMaxCapacity"] = whole(*fullMAh);
  if (designMAh) d["DesignCapacity"] = whole(*designMAh);
  if (cycleCount) d["CycleCount"] = *cycleCount;
  if (volts) d["Voltage"] = whole(*volts * 1000);
  if (presentVolts) d["AppleRawBatteryVoltage"] = whole(*presentVolts * 1000);
  if (watts && volts && *volts > 0) {
    const std::int64_t milliamps = whole(*watts / *volts * 1000);
    d["Amperage"] = milliamps;
    d["InstantAmperage"] = milliamps;
  }
  if (temperatureC) d["Temperature"] = whole(*temperatureC * 100);
  auto minutes = [](std::optional<double> m) {
    return m ? std::clamp<std::int64_t>(whole(*m), 0, kMinutesUnknown - 1) : kMinutesUnknown;
  };
  const std::int64_t toEmpty = status == "Discharging" ? minutes(minutesToEmpty) : kMinutesUnknown;
  const std::int64_t toFull = status == "Charging" ? minutes(minutesToFull) : kMinutesUnknown;
  d["AvgTimeToEmpty"] = toEmpty;
  d["AvgTimeToFull"] = toFull;
  d["TimeRemaining"] = externalConnected ? toFull : toEmpty;
  if (!model.empty()) d["DeviceName"] = model;
  if (!manufacturer.empty()) d["Manufacturer"] = manufacturer;
  if (adapter) {
    Value details = Value::object();
    details["Name"] = adapter->name;
    if (adapter->watts) details["Watts"] = whole(*adapter->watts);
    if (adapter->volts) details["AdapterVoltage"] = whole(*adapter->volts * 1000);
    if (adapter->amps) details["Current"] = whole(*adapter->amps * 1000);
    details["Description"] = adapter->description;
    d["AdapterDetails"] = std::move(details);
  }
  return d;
}

std::optional<double> BatteryStatus::systemWatts() const {
  if (externalConnected || !watts) return std::nullopt;
  return std::max(0.0, -*watts);
}

}  // namespace ebbwise::linux_host

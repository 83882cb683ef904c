#include "app/charge_report.h"

#include <cmath>

#include "base/number_text.h"
#include "base/terminal_text.h"
#include "base/time_left.h"
#include "sensors/browsers/browser.h"
#include "sensors/browsers/media_sites.h"

namespace ebbwise {

namespace {

sys::Value orNull(const std::optional<double>& value) {
  if (value && std::isfinite(*value)) return *value;
  return nullptr;
}

template <typename T>
sys::Value orNull(const std::optional<T>& value) {
  if (value) return *value;
  return nullptr;
}

const char* stateName(ChargeFlow::State state) {
  switch (state) {
    case ChargeFlow::State::charging:
      return "charging";
    case ChargeFlow::State::holding:
      return "holding";
    case ChargeFlow::State::draining:
      return "draining";
  }
  return "holding";
}

const char* thermalName(int state) {
  static const char* names[] = {"nominal", "fair", "serious", "critical"};
  return state >= 0 && state <= 3 ? names[state] : "unknown";
}

std::string levelsText(const DeviceBattery& device) {
  std::string out;
  for (const DeviceBattery::Level& level : device.levels) {
    if (!out.empty()) out += ", ";
    out += (level.label.empty() ? "" : level.label + " ") + std::to_string(level.percent) + " %";
  }
  return out;
}

}  // namespace

ChargeReport ChargeReport::from(const Monitor& monitor) {
  ChargeReport r;
  r.liveChargeMAh = monitor.liveCharge.mAh;
  r.reportedChargeMAh = monitor.liveCharge.lastReported;
  r.capacityMeanMAh = monitor.capacity.mean;
  r.capacityEstimates = monitor.capacity.count;
  r.charging = monitor.power.isChargingNow;
  if (monitor.chargeFlow) r.flow = Flow{*monitor.chargeFlow, monitor.minutesToFull()};
  r.smartCharging = monitor.smartCharging;
  r.thermalState = monitor.thermalState;
  r.heat = monitor.heatWarnings();
  if (const auto& battery = monitor.battery) {
    r.onAC = battery->onAC;
    r.batteryTemperatureC = battery->temperatureC;
    if (battery->onAC) {
      r.charger =
          Charger{ChargeFlow::chargerLabel(battery->chargerName, battery->chargerWatts,
                                           monitor.power.chargerBrand),
                  monitor.power.chargerBrand,
                  ChargeFlow::chargerNote(battery->chargerRatedWatts, battery->chargerWatts),
                  battery->chargerRatedWatts, battery->chargerWatts};
    }
  }
  r.devices = monitor.power.devices;
  r.usbDevices = monitor.usbRows;
  // Only a browser that plays and was asked has anything to say.
  for (const auto& [app, checked] : monitor.tabs.lastTabCheck) {
    if (!monitor.playingApps.contains(app) || !Browser::named(app)) continue;
    auto found = monitor.tabs.tabSuggestions.find(app);
    std::vector<std::string> sites =
        found == monitor.tabs.tabSuggestions.end() ? std::vector<std::string>{} : found->second;
    r.mediaSites.push_back({app, sites, MediaSites::advice(sites)});
  }
  return r;
}

std::string ChargeReport::text() const {
  std::string out;
  auto line = [&out](const std::string& text) { out += text + "\n"; };

  std::string charge = "Charge: ";
  charge += liveChargeMAh ? numberText("%.0f", *liveChargeMAh) : std::string("unknown");
  charge += capacityMeanMAh ? numberText(" of %.0f mAh", *capacityMeanMAh) : std::string(" mAh");
  std::vector<std::string> notes;
  if (reportedChargeMAh) {
    notes.push_back("the battery's last report " + std::to_string(*reportedChargeMAh) + " mAh");
  }
  if (capacityMeanMAh) {
    notes.push_back("full capacity averaged over " + std::to_string(capacityEstimates) +
                    (capacityEstimates == 1 ? " estimate" : " estimates"));
  }
  for (std::size_t i = 0; i < notes.size(); ++i) {
    charge += (i == 0 ? " (" : "; ") + notes[i] + (i + 1 == notes.size() ? ")" : "");
  }
  if (trueChargeMAh && trueFullMAh) {
    charge +=
        numberText("   (really %.0f", *trueChargeMAh) + numberText(" of %.0f mAh)", *trueFullMAh);
  }
  line(charge);

  if (charger) {
    std::vector<std::string> ratings;
    if (charger->ratedWatts)
      ratings.push_back("rated " + std::to_string(*charger->ratedWatts) + " W");
    if (charger->watts) ratings.push_back(std::to_string(*charger->watts) + " W negotiated");
    std::string head = "Charger: " + TerminalText::printable(charger->label);
    for (std::size_t i = 0; i < ratings.size(); ++i) {
      head += (i == 0 ? " (" : ", ") + ratings[i] + (i + 1 == ratings.size() ? ")" : "");
    }
    line(head);
    if (charger->note) line("  " + *charger->note);
    std::string state = charging ? "Charging" : "Not charging";
    if (flow) {
      state += ": it delivers " + numberText("%.1f W", flow->flow.inWatts) +
               numberText(", the Mac uses %.1f W", flow->flow.usedWatts);
      const double net = flow->flow.batteryWatts();
      switch (flow->flow.state()) {
        case ChargeFlow::State::charging:
          state += numberText(", %.1f W into the battery", net);
          break;
        case ChargeFlow::State::holding:
          state += ", the battery holds";
          break;
        case ChargeFlow::State::draining:
          state += numberText(", draining %.1f W even on the charger: it cannot keep up", -net);
          break;
      }
      if (flow->minutesToFull) state += "; full in " + TimeLeft::format(*flow->minutesToFull);
    } else {
      state += " (the charger's input is not measured)";
    }
    line("  " + state);
    if (smartCharging && smartCharging->message()) {
      line("  " + *smartCharging->message() + ": " + *smartCharging->detail());
    }
  }

  std::string heatLine = std::string("Heat: thermal state ") + thermalName(thermalState);
  if (batteryTemperatureC && std::isfinite(*batteryTemperatureC)) {
    heatLine += numberText(", battery at %.1f \u00B0C", *batteryTemperatureC);
  }
  line(heatLine);
  for (const HeatWarning::Message& warning : heat)
    line("  " + warning.line + ": " + warning.detail);

  if (!devices.empty()) {
    std::string list;
    for (const DeviceBattery& device : devices) {
      if (!list.empty()) list += "; ";
      // Names may end in spaces, as the report gives them.
      std::string name = device.name;
      while (!name.empty() && name.back() == ' ') name.pop_back();
      list += TerminalText::printable(name) + " (" + levelsText(device) + ")";
    }
    line("Connected devices: " + list);
  }
  for (const HardwareReading::USBDevice& device : usbDevices) {
    line("USB-C: " + TerminalText::printable(device.name) + numberText(", %.1f W", device.watts));
  }
  for (const OpenMediaSites& media : mediaSites) {
    line("Speakers kept on by " + TerminalText::printable(media.browser) + ": " +
         TerminalText::printable(media.advice));
  }
  return out;
}

sys::Value ChargeReport::json() const {
  sys::Value c = {{"liveChargeMAh", orNull(liveChargeMAh)},
                  {"reportedChargeMAh", orNull(reportedChargeMAh)},
                  {"capacityMeanMAh", orNull(capacityMeanMAh)},
                  {"capacityEstimates", capacityEstimates},
                  {"onAC", onAC},
                  {"charging", charging},
                  {"flow", nullptr},
                  {"smartCharging", nullptr},
                  {"charger", nullptr},
                  {"thermalState", thermalState},
                  {"batteryTemperatureC", orNull(batteryTemperatureC)},
                  {"heat", sys::Value::array()}};
  if (flow) {
    c["flow"] = {{"state", stateName(flow->flow.state())},
                 {"inWatts", orNull(std::optional<double>(flow->flow.inWatts))},
                 {"usedWatts", orNull(std::optional<double>(flow->flow.usedWatts))},
                 {"batteryWatts", orNull(std::optional<double>(flow->flow.batteryWatts()))},
                 {"minutesToFull", orNull(flow->minutesToFull)}};
  }
  if (smartCharging) {
    c["smartCharging"] = {{"holding", smartCharging->holding},
                          {"finishing", smartCharging->finishing},
                          {"message", orNull(smartCharging->message())},
                          {"detail", orNull(smartCharging->detail())}};
  }
  if (charger) {
    c["charger"] = {{"label", charger->label},
                    {"brand", orNull(charger->brand)},
                    {"note", orNull(charger->note)},
                    {"ratedWatts", orNull(charger->ratedWatts)},
                    {"watts", orNull(charger->watts)}};
  }
  for (const HeatWarning::Message& warning : heat) {
    c["heat"].push_back({{"line", warning.line}, {"detail", warning.detail}});
  }
  if (trueChargeMAh) c["trueChargeMAh"] = *trueChargeMAh;
  if (trueFullMAh) c["trueFullMAh"] = *trueFullMAh;
  return c;
}

void ChargeReport::addTo(sys::Value& report) const {
  report["charge"] = json();
  sys::Value list = sys::Value::array();
  for (const DeviceBattery& device : devices) {
    sys::Value levels = sys::Value::array();
    for (const auto& level : device.levels) {
      levels.push_back({{"label", level.label}, {"percent", level.percent}});
    }
    list.push_back({{"name", device.name},
                    {"kind", device.kind},
                    {"symbol", device.symbol()},
                    {"levels", std::move(levels)}});
  }
  report["devices"] = std::move(list);
  list = sys::Value::array();
  for (const auto& device : usbDevices) {
    list.push_back({{"name", device.name}, {"watts", device.watts}});
  }
  report["usbDevices"] = std::move(list);
  list = sys::Value::array();
  for (const OpenMediaSites& media : mediaSites) {
    list.push_back({{"browser", media.browser}, {"sites", media.sites}, {"advice", media.advice}});
  }
  report["mediaSites"] = std::move(list);
}

}  // namespace ebbwise

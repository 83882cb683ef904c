#include "app/activity_report.h"

#include <algorithm>

#include "app/report_units.h"
#include "base/number_text.h"
#include "base/terminal_text.h"

namespace ebbwise {

namespace {

constexpr std::size_t kTextRows = 8;
constexpr double kTextShare = 0.005;  // rows under half a percent join the rest

// The ledger's rows as the report lists them: every row, highest first.
std::vector<SinceCharge::Bar> ledgerRows(const SinceCharge& ledger) {
  std::vector<SinceCharge::Bar> rows;
  for (const auto& [name, joules] : ledger.joules) rows.push_back({name, joules});
  std::stable_sort(rows.begin(), rows.end(),
                   [](const auto& a, const auto& b) { return a.joules > b.joules; });
  return rows;
}

}  // namespace

ActivityReport ActivityReport::from(const Monitor& monitor) {
  ActivityReport report;
  report.ledger = monitor.sinceCharge.ledger;
  report.ledgerSavedAt = monitor.sinceCharge.savedAt;
  for (const Monitor::RaisedAlert& raised : monitor.raisedAlerts) {
    report.alerts.push_back(Alert{raised.at, raised.alert.app, raised.alert.watts});
  }
  report.lowPowerOn = monitor.lowPowerOn;
  report.lowPowerError = monitor.lowPowerError;
  report.lowPowerPending = monitor.lowPowerSwitch.pending;
  for (const Monitor::LowPowerEvent& event : monitor.lowPowerEvents) {
    report.switches.push_back(Switch{event.at, event.on});
  }
  return report;
}

void ActivityReport::add(const DayLog& log) {
  switches.clear();
  for (const DayLog::Event& event : log.events()) {
    if (event.kind != DayLog::kLowPowerMode) continue;
    switches.push_back(Switch{event.at, event.text.ends_with(" on")});
  }
}

std::string ActivityReport::text(bool dated) const {
  std::string out;
  auto line = [&out](const std::string& text) { out += text + "\n"; };
  if (ledger && ledger->total() > 0) {
    line("Since the last charge (from " + DayLog::clock(ledger->start, dated) + ")");
    const ReportUnits::Energy unit = ReportUnits::energyFor(ledger->total());
    // The bars the panel would draw; the JSON lists every row.
    for (const SinceCharge::Bar& bar : ledger->bars(kTextRows, ledger->total() * kTextShare)) {
      line("  " + TerminalText::wordColumn(bar.name, 30) +
           TerminalText::column(ReportUnits::energy(bar.joules, unit), 11, true));
    }
  }
  std::string mode = std::string("Low Power Mode: ") + (lowPowerOn ? "on" : "off");
  if (!switches.empty()) {
    mode += ", switched " + std::to_string(switches.size()) +
            (switches.size() == 1 ? " time" : " times");
  }
  if (lowPowerPending > 0) mode += ", a switch waits for the password";
  line(mode);
  if (lowPowerError) line("  " + TerminalText::printable(*lowPowerError));
  if (alerts.empty()) {
    line("Alerts: none");
  } else {
    line("Alerts");
    for (const Alert& alert : alerts) {
      line("  " + DayLog::clock(alert.at, dated) + "  " + TerminalText::printable(alert.app) +
           " is draining your battery (" + wattsText(alert.watts) + ")");
    }
  }
  return out;
}

void ActivityReport::addTo(sys::Value& report) const {
  report["sinceCharge"] = nullptr;
  if (ledger) {
    sys::Value rows = sys::Value::array();
    for (const SinceCharge::Bar& bar : ledgerRows(*ledger)) {
      rows.push_back({{"name", bar.name}, {"joules", bar.joules}});
    }
    report["sinceCharge"] = {{"start", ledger->start.secondsSince1970},
                             {"savedAt", ledgerSavedAt ? sys::Value(ledgerSavedAt->secondsSince1970)
                                                       : sys::Value(nullptr)},
                             {"totalJoules", ledger->total()},
                             {"rows", std::move(rows)}};
  }
  sys::Value list = sys::Value::array();
  for (const Alert& alert : alerts) {
    list.push_back({{"at", alert.at.secondsSince1970}, {"app", alert.app}, {"watts", alert.watts}});
  }
  report["alerts"] = std::move(list);
  sys::Value switched = sys::Value::array();
  for (const Switch& s : switches)
    switched.push_back({{"at", s.at.secondsSince1970}, {"on", s.on}});
  report["lowPowerMode"] = {
      {"on", lowPowerOn},
      {"error", lowPowerError ? sys::Value(*lowPowerError) : sys::Value(nullptr)},
      {"pending", lowPowerPending},
      {"switches", std::move(switched)}};
}

}  // namespace ebbwise

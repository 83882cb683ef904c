#include "cli/history_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/report_units.h"
#include "base/terminal_text.h"
#include "base/utf8.h"

namespace ebbwise {

std::optional<HistoryReport> HistoryReport::from(Store& store, double now, double seconds) {
  const double since = now - seconds;
  const std::vector<BatteryPoint> points = store.batteryPoints(since);
  if (points.empty()) return std::nullopt;
  HistoryReport report;
  report.seconds = seconds;
  report.firstMinuteAgo = std::max(0.0, now - points.front().date.secondsSince1970);
  report.lastMinuteAgo = std::max(0.0, now - points.back().date.secondsSince1970);
  report.startPercent = points.front().percent;
  report.endPercent = points.back().percent;
  report.secondsOnBattery = store.secondsOnBattery(since);
  // Energy flows out of the battery only: a figure below zero is a
  // hand-edited or damaged file, not a measurement.
  report.joules = std::max(0.0, store.drainedJoules(since));
  for (const auto& [name, joules] : store.appJoulesOnBattery(since)) {
    if (!std::isfinite(joules) || joules <= 0) continue;
    report.apps.push_back({name, joules, report.joules > 0 ? joules / report.joules : 0});
  }
  std::stable_sort(report.apps.begin(), report.apps.end(),
                   [](const App& a, const App& b) { return a.joules > b.joules; });
  return report;
}

std::string HistoryReport::table(std::size_t appLimit) const {
  auto percent = [](double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f %%", value);
    return std::string(text);
  };
  std::string out = "Ebbwise report from the history of this machine: the last " +
                    ReportUnits::span(seconds) + "\n";
  out += "History:     " + ReportUnits::span(firstMinuteAgo) + " ago to " +
         ReportUnits::span(lastMinuteAgo) + " ago\n";
  out += "Battery:     " + percent(startPercent) + " to " + percent(endPercent) + "\n";
  out += "On battery:  " + ReportUnits::span(secondsOnBattery) + ", " +
         ReportUnits::energy(joules) + " drawn";
  if (secondsOnBattery > 0) {
    char watts[48];
    std::snprintf(watts, sizeof watts, " (%.1f W on average)", joules / secondsOnBattery);
    out += watts;
  }
  out += "\n";
  if (apps.empty()) return out + "\nNo app drew energy on battery in this time.\n";

  const auto unit = ReportUnits::energyFor(apps.front().joules);
  auto row = [&](const std::string& name, double energy, double share) {
    // Names come from other processes and may hold any bytes.
    const std::string printable = TerminalText::printable(Utf8::decode(name));
    const std::string cell(Utf8::prefix(printable, 30));
    char line[160];
    std::snprintf(line, sizeof line, "  %-32s %12s %6.1f %%\n", cell.c_str(),
                  ReportUnits::energy(energy, unit).c_str(), share * 100);
    return std::string(line);
  };
  out += "\nApps on battery (energy, share):\n";
  double restJoules = 0, restShare = 0;
  for (std::size_t i = 0; i < apps.size(); ++i) {
    if (i < appLimit) {
      out += row(apps[i].name, apps[i].joules, apps[i].share);
    } else {
      restJoules += apps[i].joules;
      restShare += apps[i].share;
    }
  }
  if (apps.size() > appLimit) {
    out += row(std::to_string(apps.size() - appLimit) + " more", restJoules, restShare);
  }
  return out;
}

sys::Value HistoryReport::json() const {
  sys::Value appList = sys::Value::array();
  for (const App& app : apps) {
    appList.push_back({{"name", app.name}, {"joules", app.joules}, {"share", app.share}});
  }
  return {{"machine", "this machine"},
          {"source", "history"},
          {"seconds", seconds},
          {"firstMinuteAgo", firstMinuteAgo},
          {"lastMinuteAgo", lastMinuteAgo},
          {"startPercent", startPercent},
          {"endPercent", endPercent},
          {"secondsOnBattery", secondsOnBattery},
          {"batteryJoules", joules},
          {"apps", std::move(appList)}};
}

}  // namespace ebbwise

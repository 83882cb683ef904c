#include "app/session_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/terminal_text.h"
#include "base/time_left.h"

namespace ebbwise {

namespace {

constexpr double kJoulesPerWh = 3600.0;

std::string formatted(const char* format, double a, double b = 0) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, a, b);
  return buffer;
}

std::string wattHours(double joules) {
  return formatted("%.2f Wh", joules / kJoulesPerWh);
}
std::string watts(double w) {
  return formatted("%.1f W", w);
}
std::string percentText(double fraction) {
  return formatted("%.1f %%", fraction * 100);
}

// A table cell: outside names made safe for the terminal, padded or cut to
// `width` columns.
std::string column(const std::string& text, std::size_t width, bool right = false) {
  return TerminalText::column(text, width, right);
}

sys::Value orNull(const std::optional<double>& value) {
  if (value && std::isfinite(*value)) return *value;
  return nullptr;
}

std::string minutesText(const std::optional<double>& minutes) {
  if (!minutes || !std::isfinite(*minutes)) return "unknown";
  return TimeLeft::format(*minutes);
}

}  // namespace

SessionReport SessionReport::from(const Monitor& monitor, std::string machine, double seconds) {
  SessionReport report;
  report.machine = std::move(machine);
  report.seconds = seconds;
  report.hasBattery = monitor.battery.has_value();
  if (monitor.battery) {
    report.percent = monitor.battery->percent;
    report.onAC = monitor.battery->onAC;
  }
  report.nowDrainWatts = monitor.nowDrain;
  report.averageDrainWatts15 = monitor.tracker().averageDrainWatts15();
  report.minutesLeft = monitor.minutesLeft;

  if (const auto& session = monitor.session) {
    if (monitor.lastTickAt) report.sessionSeconds = *monitor.lastTickAt - session->start;
    report.sessionStartPercent = session->startPercent;
    report.batteryJoules = session->batteryJoules;
    double scale = 1;
    double appTotal = 0;
    for (const auto& [name, joules] : session->appJoules) appTotal += joules;
    // Shares are of the battery energy; apps never claim more than was drawn.
    if (appTotal > report.batteryJoules && appTotal > 0) scale = report.batteryJoules / appTotal;
    for (const auto& [name, joules] : session->appJoules) {
      App app{name, joules, 0, 0, std::nullopt, std::nullopt};
      if (auto g = session->appGraphicsJoules.find(name); g != session->appGraphicsJoules.end()) {
        app.graphicsJoules = g->second;
      }
      if (report.batteryJoules > 0) app.share = joules * scale / report.batteryJoules;
      report.apps.push_back(std::move(app));
    }
    std::sort(report.apps.begin(), report.apps.end(), [](const App& a, const App& b) {
      return a.joules != b.joules ? a.joules > b.joules : a.name < b.name;
    });
  }
  for (const auto& row : monitor.nowRows) {
    report.rows.push_back(Row{row.row.name, row.watts, row.row.fraction, std::nullopt});
  }
  report.charge = ChargeReport::from(monitor);
  return report;
}

std::optional<double> SessionReport::minutesLeftError() const {
  if (!minutesLeft || !trueMinutesLeft || !std::isfinite(*minutesLeft) ||
      !std::isfinite(*trueMinutesLeft) || !(*trueMinutesLeft > 0)) {
    return std::nullopt;
  }
  return *minutesLeft / *trueMinutesLeft - 1;
}

std::string SessionReport::estimateError() const {
  auto error = minutesLeftError();
  if (!error) return "";
  if (std::abs(*error) < 0.0005) return ": the estimate is right";
  return formatted(": the estimate is %.1f %% ", std::abs(*error) * 100) +
         (*error > 0 ? "long" : "short");
}

std::string SessionReport::table(std::size_t appLimit) const {
  std::string out;
  auto line = [&out](const std::string& text) { out += text + "\n"; };
  const bool truth = trueSystemJoules.has_value();

  line("Ebbwise report: " + TerminalText::printable(machine) + ", " +
       TimeLeft::format(seconds / 60));
  if (!hasBattery) {
    line("No battery found: there is nothing to account for on this machine.");
    return out;
  }
  std::string state = formatted("Battery %.0f %%", percent.value_or(0));
  state += onAC ? ", on the charger" : ", on battery";
  if (nowDrainWatts) state += ", drawing " + watts(*nowDrainWatts);
  if (averageDrainWatts15) state += " (15-minute average " + watts(*averageDrainWatts15) + ")";
  line(state);
  if (!onAC) {
    std::string left = "Time left: " + minutesText(minutesLeft);
    if (truth) left += "   (really " + minutesText(trueMinutesLeft) + estimateError() + ")";
    line(left);
  }
  for (const RunOut& out : batteryRanOut) {
    line("The battery ran out after " + TimeLeft::format(out.afterSeconds / 60) +
         (out.hibernatedSeconds
              ? ": the Mac hibernated for " + TimeLeft::format(*out.hibernatedSeconds / 60) +
                    ", until a charger woke it"
              : ": the Mac hibernated and was still off at the end"));
  }
  out += charge.text();
  line("");

  if (!sessionSeconds) {
    line("No time on battery yet: the session starts when the charger is unplugged.");
  } else {
    // While plugged in the session is the last stretch on battery; it stopped
    // growing at the plug.
    std::string head = onAC ? std::string("Last stretch on battery")
                            : "On battery for " + TimeLeft::format(*sessionSeconds / 60);
    if (sessionStartPercent) head += formatted(" since %.0f %%", *sessionStartPercent);
    head += ": " + wattHours(batteryJoules) + " drawn";
    if (truth) head += "   (really " + wattHours(*trueSystemJoules) + ")";
    line(head);
    line("");
    std::string header = column("App", 40) + column("Energy", 11, true) + column("Share", 9, true);
    if (truth) header += column("Really", 11, true);
    line(header);
    double shown = 0, shownShare = 0, rest = 0, restShare = 0, restTrue = 0;
    for (std::size_t i = 0; i < apps.size(); ++i) {
      const App& app = apps[i];
      if (i >= appLimit) {
        rest += app.joules;
        restShare += app.share;
        restTrue += app.trueJoules.value_or(0);
        continue;
      }
      shown += app.joules;
      shownShare += app.share;
      std::string text = column(app.name, 40) + column(wattHours(app.joules), 11, true) +
                         column(percentText(app.share), 9, true);
      if (truth) text += column(app.trueJoules ? wattHours(*app.trueJoules) : "-", 11, true);
      line(text);
    }
    if (apps.size() > appLimit) {
      std::string text = column(std::string(AppShare::otherName), 40) +
                         column(wattHours(rest), 11, true) +
                         column(percentText(restShare), 9, true);
      if (truth) text += column(wattHours(restTrue), 11, true);
      line(text);
    }
    double system = std::max(0.0, batteryJoules - shown - rest);
    line(column(std::string(AppShare::systemName), 40) + column(wattHours(system), 11, true) +
         column(percentText(std::max(0.0, 1 - shownShare - restShare)), 9, true));
  }

  if (!rows.empty()) {
    line("");
    line("Now (last 30 seconds)");
    for (const auto& row : rows) {
      std::string text = column(row.name, 40) + column(watts(row.watts), 11, true) +
                         column(percentText(row.fraction), 9, true);
      if (row.trueWatts) text += "   (really " + watts(*row.trueWatts) + ")";
      line(text);
    }
  }
  if (calibration) {
    line("");
    for (const std::string& text : calibration->lines()) line(text);
  }
  if (!hardwareEnergy.empty()) {
    line("");
    line(column("Since the calibration", 40) + column("Energy", 11, true) +
         column("Really", 11, true));
    for (const HardwareEnergy& row : hardwareEnergy) {
      line(column(row.name, 40) + column(wattHours(row.joules), 11, true) +
           column(wattHours(row.trueJoules), 11, true));
    }
  }
  return out;
}

sys::Value SessionReport::json() const {
  sys::Value apps_ = sys::Value::array();
  for (const auto& app : apps) {
    sys::Value a = {{"name", app.name},
                    {"joules", app.joules},
                    {"graphicsJoules", app.graphicsJoules},
                    {"share", app.share}};
    if (app.trueJoules) a["trueJoules"] = *app.trueJoules;
    if (app.trueGraphicsJoules) a["trueGraphicsJoules"] = *app.trueGraphicsJoules;
    apps_.push_back(std::move(a));
  }
  sys::Value rows_ = sys::Value::array();
  for (const auto& row : rows) {
    sys::Value r = {{"name", row.name}, {"watts", row.watts}, {"fraction", row.fraction}};
    if (row.trueWatts) r["trueWatts"] = *row.trueWatts;
    rows_.push_back(std::move(r));
  }
  sys::Value out = {{"machine", machine},
                    {"simulatedSeconds", seconds},
                    {"hasBattery", hasBattery},
                    {"percent", orNull(percent)},
                    {"onAC", onAC},
                    {"sessionSeconds", orNull(sessionSeconds)},
                    {"batteryJoules", batteryJoules},
                    {"nowDrainWatts", orNull(nowDrainWatts)},
                    {"averageDrainWatts15", orNull(averageDrainWatts15)},
                    {"minutesLeft", orNull(minutesLeft)},
                    {"apps", std::move(apps_)},
                    {"rows", std::move(rows_)}};
  if (calibration) out["calibration"] = calibration->json();
  if (!hardwareEnergy.empty()) {
    sys::Value energy = sys::Value::array();
    for (const HardwareEnergy& row : hardwareEnergy) {
      energy.push_back(
          {{"name", row.name}, {"joules", row.joules}, {"trueJoules", row.trueJoules}});
    }
    out["hardwareEnergy"] = std::move(energy);
  }
  if (trueSystemJoules) {
    out["trueSystemJoules"] = *trueSystemJoules;
    out["trueMinutesLeft"] = orNull(trueMinutesLeft);
    out["minutesLeftError"] = orNull(minutesLeftError());
    sys::Value ranOut = sys::Value::array();
    for (const RunOut& r : batteryRanOut) {
      ranOut.push_back(
          {{"afterSeconds", r.afterSeconds}, {"hibernatedSeconds", orNull(r.hibernatedSeconds)}});
    }
    out["batteryRanOut"] = std::move(ranOut);
  }
  charge.addTo(out);
  return out;
}

}  // namespace ebbwise

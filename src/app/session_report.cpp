#include "app/session_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/report_units.h"
#include "base/number_text.h"
#include "base/terminal_text.h"
#include "base/time_left.h"

namespace ebbwise {

namespace {

std::string percentText(double fraction) {
  return numberText("%.1f %%", fraction * 100);
}

// A table cell: outside names made safe for the terminal, padded or cut to
// `width` columns.
std::string column(const std::string& text, std::size_t width, bool right = false) {
  return TerminalText::column(text, width, right);
}

// The name column is as wide as the longest name needs, within bounds that
// keep a row on an 80-column terminal.
constexpr std::size_t kNameMin = 28;
constexpr std::size_t kNameMax = 48;
constexpr std::size_t kIndent = 2;  // parts of the machine under their group

template <typename Names>
std::size_t nameWidth(const Names& names) {
  std::size_t widest = kNameMin;
  for (const auto& name : names) {
    widest = std::max(widest, TerminalText::width(TerminalText::printable(name)) + 1);
  }
  return std::min(widest, kNameMax);
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
  report.activity = ActivityReport::from(monitor);
  report.panels = PanelTexts::from(monitor);
  report.playingApps.assign(monitor.playingApps.begin(), monitor.playingApps.end());
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
  return numberText(": the estimate is %.1f %% ", std::abs(*error) * 100) +
         (*error > 0 ? "long" : "short");
}

void SessionReport::add(const DayLog& log) {
  startedAt = log.firstAt();
  events = log.events();
  // A change of the charge flow is dated from when it began, once it held.
  std::stable_sort(events.begin(), events.end(),
                   [](const DayLog::Event& a, const DayLog::Event& b) { return a.at < b.at; });
  eventsLeftOut = log.eventsLeftOut();
  activity.add(log);
  if (!log.stretches().empty()) stretch = log.stretches().back();
  if (stretch && stretch->end) sessionSeconds = *stretch->end - stretch->start;
}

std::string SessionReport::table(std::size_t appLimit) const {
  std::string out;
  auto line = [&out](const std::string& text) { out += text + "\n"; };
  const bool truth = trueSystemJoules.has_value();
  const bool longRun = DayLog::spansDays(startedAt, seconds);

  std::string title =
      "Ebbwise report: " + TerminalText::printable(machine) + ", " + ReportUnits::span(seconds);
  if (startedAt) title += " from " + DayLog::dateAndTime(*startedAt);
  line(title);
  if (!hasBattery) {
    line("No battery found: there is nothing to account for on this machine.");
    return out;
  }
  out += panels.text();
  std::string state = numberText("Battery %.0f %%", percent.value_or(0));
  state += onAC ? ", on the charger" : ", on battery";
  if (nowDrainWatts) state += ", drawing " + wattsText(*nowDrainWatts);
  if (averageDrainWatts15) state += " (15-minute average " + wattsText(*averageDrainWatts15) + ")";
  line(state);
  if (!onAC) {
    std::string left = "Time left: " + minutesText(minutesLeft);
    if (truth) left += "   (really " + minutesText(trueMinutesLeft) + estimateError() + ")";
    line(left);
  }
  for (const RunOut& out : batteryRanOut) {
    line("The battery ran out after " + ReportUnits::span(out.afterSeconds) +
         (out.hibernatedSeconds
              ? ": the Mac hibernated for " + ReportUnits::span(*out.hibernatedSeconds) +
                    ", until a charger woke it"
              : ": the Mac hibernated and was still off at the end"));
  }
  if (!playingApps.empty()) {
    std::string list;
    for (const std::string& app : playingApps) {
      list += (list.empty() ? "" : ", ") + TerminalText::printable(app);
    }
    line("Playing sound: " + list);
  }
  out += charge.text();
  out += activity.text(longRun);
  line("");

  if (!sessionSeconds) {
    line("No time on battery yet: the session starts when the charger is unplugged.");
  } else {
    line(stretchText());
    line("");
    // One unit for the whole table, fitted to its largest figure.
    const ReportUnits::Energy unit =
        ReportUnits::energyFor(std::max(batteryJoules, trueSystemJoules.value_or(0)));
    auto energy = [unit](double joules) { return ReportUnits::energy(joules, unit); };
    std::vector<std::string> names;
    for (std::size_t i = 0; i < apps.size() && i < appLimit; ++i) names.push_back(apps[i].name);
    names.emplace_back(AppShare::systemName);
    const std::size_t width = nameWidth(names);

    std::string header =
        column("App", width) + column("Energy", 11, true) + column("Share", 9, true);
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
      std::string text = TerminalText::wordColumn(app.name, width) +
                         column(energy(app.joules), 11, true) +
                         column(percentText(app.share), 9, true);
      if (truth) text += column(app.trueJoules ? energy(*app.trueJoules) : "-", 11, true);
      line(text);
    }
    if (apps.size() > appLimit) {
      std::string text = column(std::string(AppShare::otherName), width) +
                         column(energy(rest), 11, true) + column(percentText(restShare), 9, true);
      if (truth) text += column(energy(restTrue), 11, true);
      line(text);
    }
    double system = std::max(0.0, batteryJoules - shown - rest);
    line(column(std::string(AppShare::systemName), width) + column(energy(system), 11, true) +
         column(percentText(std::max(0.0, 1 - shownShare - restShare)), 9, true));
  }

  if (!rows.empty()) {
    line("");
    line("Now (last 30 seconds)");
    // The parts of the machine are what the table above sums as "System &
    // display"; they are listed under that name so both tables read alike.
    std::vector<const Row*> top, parts;
    double partWatts = 0, partFraction = 0;
    for (const Row& row : rows) {
      if (AppShare::isGroup(row.name) && row.name != AppShare::otherName &&
          row.name != AppShare::systemName) {
        parts.push_back(&row);
        partWatts += row.watts;
        partFraction += row.fraction;
      } else {
        top.push_back(&row);
      }
    }
    Row group{std::string(AppShare::systemName), partWatts, partFraction, std::nullopt};
    if (!parts.empty()) {
      auto at = std::find_if(top.begin(), top.end(),
                             [&](const Row* row) { return row->watts < partWatts; });
      top.insert(at, &group);
    }
    std::vector<std::string> names;
    for (const Row& row : rows) names.push_back(std::string(kIndent, ' ') + row.name);
    const std::size_t width = nameWidth(names);
    auto rowLine = [&](const Row& row, std::size_t indent) {
      std::string text =
          std::string(indent, ' ') + TerminalText::wordColumn(row.name, width - indent) +
          column(wattsText(row.watts), 11, true) + column(percentText(row.fraction), 9, true);
      if (row.trueWatts) text += "   (really " + wattsText(*row.trueWatts) + ")";
      line(text);
    };
    for (const Row* row : top) {
      rowLine(*row, 0);
      if (row == &group) {
        for (const Row* part : parts) rowLine(*part, kIndent);
      }
    }
  }
  if (calibration) {
    line("");
    for (const std::string& text : calibration->lines()) line(text);
  }
  if (!hardwareEnergy.empty()) {
    line("");
    double largest = 0;
    for (const HardwareEnergy& row : hardwareEnergy) {
      largest = std::max({largest, row.joules, row.trueJoules});
    }
    const ReportUnits::Energy unit = ReportUnits::energyFor(largest);
    line(column("Since the calibration", kNameMin) + column("Energy", 11, true) +
         column("Really", 11, true));
    for (const HardwareEnergy& row : hardwareEnergy) {
      line(column(row.name, kNameMin) + column(ReportUnits::energy(row.joules, unit), 11, true) +
           column(ReportUnits::energy(row.trueJoules, unit), 11, true));
    }
  }
  if (!events.empty()) {
    line("");
    line("What happened (UTC)");
    for (const DayLog::Event& event : events) {
      line("  " + DayLog::clock(event.at, longRun) + "  " + TerminalText::printable(event.text));
    }
    if (eventsLeftOut > 0) {
      line(numberText("  … and %.0f more", static_cast<double>(eventsLeftOut)));
    }
  }
  return out;
}

std::string SessionReport::stretchText() const {
  std::string head;
  // While plugged in the session is the last stretch on battery; it stopped
  // growing at the plug.
  if (stretch && stretch->end) {
    const bool longRun = DayLog::spansDays(startedAt, seconds);
    head = "Last stretch on battery: " + DayLog::clock(stretch->start, longRun) +
           numberText(" at %.0f %%", stretch->startPercent) + " to " +
           DayLog::clock(*stretch->end, longRun) +
           numberText(" at %.0f %%", stretch->endPercent.value_or(0)) + ", " +
           ReportUnits::span(*stretch->end - stretch->start);
  } else if (onAC) {
    head = "Last stretch on battery";
    if (sessionStartPercent) head += numberText(", from %.0f %%", *sessionStartPercent);
  } else {
    head = "On battery for " + ReportUnits::span(sessionSeconds.value_or(0));
    if (stretch) {
      head += " since " + DayLog::clock(stretch->start, DayLog::spansDays(startedAt, seconds)) +
              numberText(" at %.0f %%", stretch->startPercent);
    } else if (sessionStartPercent) {
      head += numberText(" since %.0f %%", *sessionStartPercent);
    }
  }
  const ReportUnits::Energy unit =
      ReportUnits::energyFor(std::max(batteryJoules, trueSystemJoules.value_or(0)));
  head += ": " + ReportUnits::energy(batteryJoules, unit) + " drawn";
  if (trueSystemJoules) head += "   (really " + ReportUnits::energy(*trueSystemJoules, unit) + ")";
  return head;
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
    if (AppShare::isGroup(row.name) && row.name != AppShare::otherName &&
        row.name != AppShare::systemName) {
      r["partOf"] = AppShare::systemName;
    }
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
  out["startedAt"] = startedAt ? sys::Value(startedAt->secondsSince1970) : sys::Value(nullptr);
  out["panels"] = panels.json();
  out["stretch"] = nullptr;
  if (stretch) {
    out["stretch"] = {
        {"start", stretch->start.secondsSince1970},
        {"startPercent", stretch->startPercent},
        {"end", stretch->end ? sys::Value(stretch->end->secondsSince1970) : sys::Value(nullptr)},
        {"endPercent", orNull(stretch->endPercent)}};
  }
  sys::Value log = sys::Value::array();
  for (const DayLog::Event& event : events) {
    log.push_back({{"at", event.at.secondsSince1970},
                   {"kind", event.kind},
                   {"text", event.text},
                   {"percent", orNull(event.percent)}});
  }
  out["events"] = std::move(log);
  out["eventsLeftOut"] = eventsLeftOut;
  out["playingApps"] = playingApps;
  // What the monitor does not publish yet keeps its place, so that readers
  // of the report can count on the keys.
  out["ranges"] = nullptr;
  activity.addTo(out);
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

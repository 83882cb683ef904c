#include "face/panel_inputs.h"

#include <algorithm>
#include <cmath>

#include "accounting/app_share.h"
#include "app/hardware_split.h"
#include "display_rules/status_line.h"
#include "sensors/browsers/browser.h"
#include "ui/series_colors.h"

namespace ebbwise {

namespace PanelInputs {

namespace {

std::vector<std::pair<std::string, double>> hogs(const Monitor& monitor) {
  return monitor.tracker().hogs(monitor.settings().alertWatts);
}

int menuBarStyleIndex(MenuBarStyle style) {
  switch (style) {
    case MenuBarStyle::timeLeft:
      return 0;
    case MenuBarStyle::percent:
      return 1;
    case MenuBarStyle::watts:
      break;
  }
  return 2;
}

int rangeIndex(HistoryRange range) {
  return static_cast<int>(std::find(allHistoryRanges.begin(), allHistoryRanges.end(), range) -
                          allHistoryRanges.begin());
}

bool isHog(const Monitor& monitor, const std::string& row) {
  const Tracker::AppWatts heavy = monitor.hogs();
  return std::any_of(heavy.begin(), heavy.end(), [&](const auto& hog) { return hog.first == row; });
}

ui::PanelCalibration calibration(const Monitor& monitor) {
  const HardwareMeasuring& h = monitor.hardware();
  ui::PanelCalibration c;
  c.screenMeasured = h.screen().isMeasured();
  if (c.screenMeasured) {
    if (monitor.brightness) c.screenWattsNow = h.screen().watts(*monitor.brightness);
    c.screenWattsFull = h.screen().watts(1.0);
  }
  c.speakerWatts = h.speakers().watts;
  c.isCalibrating = h.isCalibrating();
  c.progress = h.calibrationProgress();
  c.isAskingToCalibrate = h.isAskingToCalibrate();
  c.totalSeconds = HardwareMeasuring::totalSeconds;
  c.error = h.calibrationError();
  c.speakerNote = h.speakerNote();
  return c;
}

}  // namespace

std::vector<RowWatts> usefulLines(const std::vector<RowWatts>& rows,
                                  const std::set<std::string>& playingApps,
                                  const std::vector<std::pair<std::string, double>>& hogs) {
  std::vector<RowWatts> kept;
  for (const RowWatts& row : rows) {
    const std::string& name = row.row.name;
    bool screen = name == AppShare::screenName || name == AppShare::screenAndOtherName;
    bool playingBrowser = playingApps.contains(name) && Browser::named(name).has_value();
    bool heavy =
        std::any_of(hogs.begin(), hogs.end(), [&](const auto& hog) { return hog.first == name; });
    if (screen || playingBrowser || heavy) kept.push_back(row);
  }
  return kept;
}

ui::NotchViewInput notch(const Monitor& monitor) {
  const MonitorSettings& s = monitor.settings();
  ui::NotchViewInput in;
  in.battery = monitor.battery;
  in.isChargingNow = monitor.power.isChargingNow;
  in.lowPowerOn = monitor.lowPowerOn;
  in.netBatteryWatts = monitor.netBatteryWatts();
  in.minutesToFull = monitor.minutesToFull();
  in.minutesLeft = monitor.minutesLeft;
  in.hogs = hogs(monitor);
  in.unit = s.unit;
  in.lineTheme = s.lineTheme;
  in.fullscreenStyle = s.fullscreenStyle;
  in.isFullscreen = monitor.isFullscreen;
  in.demoNotch = s.demoNotch;
  // The notch shows the icons the monitor has found so far; the panel and
  // the chart's colours look them up.
  for (const auto& [row, watts] : in.hogs) {
    if (auto icon = monitor.rowIcons.iconCache.find(row); icon != monitor.rowIcons.iconCache.end())
      in.hogIcons.emplace(row, icon->second);
  }
  return in;
}

bool stopUnderWay(const Monitor& monitor, const std::string& row) {
  const ProcessStopper::Targets targets = monitor.stoppable(row);
  return std::any_of(targets.begin(), targets.end(), [&](const auto& target) {
    return monitor.stopper.stopping.contains(target.first.pid);
  });
}

std::optional<ui::RowFacts> rowFacts(Monitor& monitor, const std::string& row, sys::Date now) {
  const Tracker& tracker = monitor.tracker();
  const bool devTool = tracker.isDevTool(row);
  if (!devTool && !isHog(monitor, row)) return std::nullopt;
  const Tracker::ProcessWatts processes = tracker.topProcesses(row, ProcessStopper::kLimit);
  if (processes.empty()) return std::nullopt;

  // A stop leaves coding-agent sessions alone: what it would not signal is
  // the session itself, and what it would are the tasks the session started.
  const ProcessStopper::Targets targets = monitor.stoppable(row);
  std::set<std::int32_t> stoppable;
  for (const auto& target : targets) stoppable.insert(target.first.pid);
  std::optional<std::int32_t> session;
  if (devTool) {
    for (const auto& [pid, watts] : processes) {
      if (!stoppable.contains(pid)) {
        session = pid;
        break;
      }
    }
  }

  ui::RowFacts facts;
  const int count = static_cast<int>(targets.size());
  std::optional<ProcessDetails> main = monitor.details(session.value_or(processes.front().first));
  if (session) {
    if (main) facts.folder = main->folder ? main->folder : main->claudeSession;
    facts.processes = count;
    facts.childTasks = count;
  } else {
    // "1 processes" says nothing a row of one process does not.
    facts.processes = count > 1 ? count : 0;
  }
  if (main) {
    if (main->started && now >= *main->started) facts.runningMinutes = (now - *main->started) / 60;
    facts.orphaned = main->isOrphaned;
  }
  facts.forceStop = stopUnderWay(monitor, row);
  facts.canStop = !targets.empty();
  return facts;
}

ui::PanelInput panel(Monitor& monitor, sys::Date now) {
  const MonitorSettings& s = monitor.settings();
  ui::PanelInput in;
  in.notch = notch(monitor);
  in.now = now;

  const auto& chartedRows = monitor.chart.chartedRows();
  const auto& slots = monitor.chart.seriesSlot();
  auto colour = [&](const std::string& row) {
    return ui::SeriesColors::forRow(row, chartedRows, slots);
  };
  // Development tools show their runtime's logo or a symbol, never an
  // app's icon.
  auto icon = [&](const std::string& row) -> std::shared_ptr<const sys::Image> {
    if (monitor.tracker().isDevTool(row)) return nullptr;
    return monitor.icon(row);
  };
  auto icons = [&](const auto& rows) {
    ui::RowImages found;
    for (const std::string& row : rows) {
      if (auto image = icon(row)) found.emplace(row, std::move(image));
    }
    return found;
  };

  if (const auto& battery = monitor.battery; battery && battery->onAC) {
    in.chargeFlow = monitor.chargeFlow;
    in.chargerLabel = ChargeFlow::chargerLabel(battery->chargerName, battery->chargerWatts,
                                               monitor.power.chargerBrand);
    in.chargerNote = ChargeFlow::chargerNote(battery->chargerRatedWatts, battery->chargerWatts);
    if (monitor.smartCharging) {
      in.smartChargingMessage = monitor.smartCharging->message();
      in.smartChargingDetail = monitor.smartCharging->detail();
      in.finishingSlowly = monitor.smartCharging->finishing && !monitor.smartCharging->holding;
    }
  }
  for (const HeatWarning::Message& m : monitor.heatWarnings()) {
    in.heatWarnings.push_back({m.line, m.detail});
  }
  in.fullMAh = monitor.capacity.mean;

  for (const RowWatts& row : usefulLines(monitor.nowRows, monitor.playingApps, in.notch.hogs)) {
    in.nowRows.push_back(ui::PanelRow{row.row.name, row.row.fraction, row.watts, std::nullopt,
                                      colour(row.row.name), rowFacts(monitor, row.row.name, now),
                                      icon(row.row.name)});
  }
  in.speakersKeptOnBy = HardwareSplit::speakersKeptOnBy(monitor.playingApps);
  in.lowPowerError = monitor.lowPowerError;
  in.stopError = monitor.stopError;
  in.menuBarText = monitor.menuBarText();

  in.showHideBatteryIconTip = monitor.showHideBatteryIconTip();
  for (const DeviceBattery& d : monitor.power.devices) {
    ui::PanelDevice device{d.name, d.symbol(), {}};
    for (const DeviceBattery::Level& level : d.levels)
      device.levels.push_back({level.label, level.percent});
    in.devices.push_back(std::move(device));
  }
  in.calibration = calibration(monitor);
  in.brightness = monitor.brightness;
  in.settings = ui::PanelSettings{s.alertsOn,
                                  s.alertWatts,
                                  s.lineTheme,
                                  s.fullscreenStyle,
                                  s.showInMenuBar,
                                  s.demoNotch,
                                  monitor.launchAtLogin(),
                                  monitor.hasNotch(),
                                  menuBarStyleIndex(s.menuBarStyle)};

  // The menu-bar panel's range.
  in.range = rangeIndex(monitor.range());
  in.statusLine =
      StatusLine::text(monitor.battery.has_value(), monitor.battery && monitor.battery->onAC,
                       monitor.power.isChargingNow, monitor.minutesLeft, monitor.minutesToFull());
  in.rangeSeconds = monitor.rangeSeconds;
  in.rangeJoules = monitor.rangeJoules;
  if (!monitor.history.empty()) in.percentAtStart = monitor.history.front().percent;
  if (monitor.battery) in.percentNow = monitor.battery->percent;
  in.hasSession = monitor.session.has_value();
  for (const AppShare& share : monitor.shares) {
    ui::PanelRow row{share.name, share.fraction, std::nullopt, std::nullopt, colour(share.name),
                     {},         nullptr};
    if (auto w = monitor.rowWatts.find(share.name); w != monitor.rowWatts.end())
      row.watts = w->second;
    if (auto j = monitor.rangeAppJoules.find(share.name); j != monitor.rangeAppJoules.end())
      row.joules = j->second;
    row.facts = rowFacts(monitor, share.name, now);
    row.icon = icon(share.name);
    in.shares.push_back(std::move(row));
  }

  in.chart.drainHistory = monitor.chart.samples();
  in.chart.chartLines = monitor.chart.chartLines();
  in.chart.seriesSlot = slots;
  in.chart.icons = icons(in.chart.chartLines);
  in.chart.unit = s.unit;
  in.chart.battery = monitor.battery;
  for (const Monitor::LowPowerEvent& e : monitor.lowPowerEvents) {
    in.chart.lowPowerEvents.push_back({e.at, e.on});
  }
  in.chart.now = now;

  in.bars.sinceCharge = monitor.sinceCharge.ledger;
  in.bars.nowRowWatts = monitor.nowRowWatts;
  in.bars.chartedRows = chartedRows;
  in.bars.seriesSlot = slots;
  in.bars.unit = s.unit;
  in.bars.battery = monitor.battery;
  in.bars.now = now;
  std::vector<std::string> barRows;
  for (const SinceCharge::Bar& bar : ui::SinceChargeBars::bars(in.bars))
    barRows.push_back(bar.name);
  in.bars.icons = icons(barRows);
  return in;
}

std::optional<ui::CalibrationMessageInput> overlay(const Monitor& monitor) {
  const HardwareMeasuring& h = monitor.hardware();
  if (!h.isCalibrating()) return std::nullopt;
  return ui::CalibrationMessageInput{h.phase(), h.restoreBrightness(),
                                     static_cast<double>(h.secondsLeft()), h.calibrationProgress()};
}

}  // namespace PanelInputs

}  // namespace ebbwise

#include "app/day_log.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "app/report_units.h"
#include "base/number_text.h"

namespace ebbwise {

namespace {

std::string percentText(double percent) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.0f %%", percent);
  return buffer;
}

std::string joined(const std::set<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
  return out;
}

const char* thermalName(int state) {
  return state <= 0 ? "nominal" : "fair";
}

std::string formattedUTC(sys::Date at, const char* format) {
  if (!std::isfinite(at.secondsSince1970)) return "?";
  // Dates of a sane run only; anything else is not worth a calendar.
  const double seconds = std::floor(at.secondsSince1970);
  if (seconds < 0 || seconds > 32'503'680'000.0) return "?";
  const auto time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  if (!::gmtime_r(&time, &parts)) return "?";
  char buffer[64];
  if (std::strftime(buffer, sizeof buffer, format, &parts) == 0) return "?";
  return buffer;
}

}  // namespace

bool DayLog::spansDays(std::optional<sys::Date> start, double seconds) {
  if (seconds >= 86400) return true;
  if (!start || !std::isfinite(start->secondsSince1970) || !std::isfinite(seconds)) return false;
  return std::floor(start->secondsSince1970 / 86400) !=
         std::floor((start->secondsSince1970 + seconds) / 86400);
}

std::string DayLog::clock(sys::Date at, bool dated) {
  return formattedUTC(at, dated ? "%b %d %H:%M" : "%H:%M:%S");
}

std::string DayLog::dateAndTime(sys::Date at) {
  return formattedUTC(at, "%Y-%m-%d %H:%M UTC");
}

void DayLog::add(sys::Date at, const char* kind, std::string text, std::optional<double> percent) {
  if (events_.size() >= kMaxEvents) {
    ++leftOut_;
    return;
  }
  events_.push_back(Event{at, kind, std::move(text), percent});
}

void DayLog::observe(const Monitor& monitor) {
  if (!monitor.lastTickAt || !monitor.battery) return;
  const sys::Date at = *monitor.lastTickAt;
  const BatteryReading& battery = *monitor.battery;
  const double percent = battery.percent;

  if (!onAC_) {
    firstAt_ = at;
    add(at, kStart,
        std::string(battery.onAC ? "On the charger" : "On battery") + " at " + percentText(percent),
        percent);
  } else if (lastAt_ && at - *lastAt_ >= kSleepGap) {
    add(*lastAt_, kAsleep, "Asleep for " + ReportUnits::span(at - *lastAt_), std::nullopt);
  }
  lastAt_ = at;

  // Switches come between ticks, each with its own time.
  for (const Monitor::LowPowerEvent& event : monitor.lowPowerEvents) {
    if (lowPowerSeen_ && event.at <= *lowPowerSeen_) continue;
    add(event.at, kLowPowerMode, event.on ? "Low Power Mode on" : "Low Power Mode off", percent);
    lowPowerSeen_ = event.at;
  }
  for (; alertsSeen_ < monitor.raisedAlerts.size(); ++alertsSeen_) {
    const Monitor::RaisedAlert& raised = monitor.raisedAlerts[alertsSeen_];
    add(raised.at, kAlert,
        "Alert: " + raised.alert.app + " is draining your battery (" +
            wattsText(raised.alert.watts) + ")",
        percent);
  }

  if (onAC_ && *onAC_ != battery.onAC) {
    add(at, battery.onAC ? kPluggedIn : kUnplugged,
        std::string(battery.onAC ? "Plugged in" : "Unplugged") + " at " + percentText(percent),
        percent);
  }
  // A stretch on battery runs from the session's start to the first tick on
  // the charger.
  if (!battery.onAC && monitor.session) {
    if (stretches_.empty() || stretches_.back().end ||
        stretches_.back().start != monitor.session->start) {
      stretches_.push_back(Stretch{monitor.session->start, monitor.session->startPercent,
                                   std::nullopt, std::nullopt});
    }
  } else if (battery.onAC && !stretches_.empty() && !stretches_.back().end) {
    stretches_.back().end = at;
    stretches_.back().endPercent = percent;
  }
  onAC_ = battery.onAC;

  // Off the charger the flow is gone at once; on it a state counts once it
  // has held steady.
  // A tick without a measured input (the meter's window restarting) says
  // nothing about the flow.
  std::optional<ChargeFlow::State> flow;
  if (monitor.chargeFlow) flow = monitor.chargeFlow->state();
  if (!battery.onAC) {
    flowState_.reset();
    newFlow_.reset();
  } else if (flow && flow != newFlow_) {
    newFlow_ = flow;
    newFlowSince_ = at;
  }
  if (flow && flow == newFlow_ && flow != flowState_ && at - newFlowSince_ >= kSteadyFlow) {
    const ChargeFlow& f = *monitor.chargeFlow;
    switch (*flow) {
      case ChargeFlow::State::charging:
        add(newFlowSince_, kChargeFlow,
            "Charging: " + wattsText(f.batteryWatts()) + " into the battery", percent);
        break;
      case ChargeFlow::State::holding:
        add(newFlowSince_, kChargeFlow, "On the charger, the battery holds", percent);
        break;
      case ChargeFlow::State::draining:
        add(newFlowSince_, kChargeFlow,
            "The charger cannot keep up: draining " + wattsText(-f.batteryWatts()) +
                " even on the charger",
            percent);
        break;
    }
    flowState_ = flow;
  }

  // A serious or critical state comes with a heat warning of its own, below.
  if (monitor.thermalState != thermalState_) {
    if (monitor.thermalState < 2) {
      add(at, kHeat, std::string("Thermal state ") + thermalName(monitor.thermalState), percent);
    }
    thermalState_ = monitor.thermalState;
  }
  // A warning is told once while it lasts, not again for each degree the
  // battery's temperature in it moves.
  std::set<std::string> heat;
  for (const HeatWarning::Message& warning : monitor.heatWarnings()) {
    std::string kind = warning.line.substr(warning.line.rfind(" \u00B7 ") + 1);
    if (!heat_.contains(kind)) add(at, kHeat, warning.line, percent);
    heat.insert(std::move(kind));
  }
  heat_ = std::move(heat);

  std::optional<std::string> smart;
  if (monitor.smartCharging) smart = monitor.smartCharging->message();
  if (smart && smart != smartCharging_) add(at, kSmartCharging, *smart, percent);
  smartCharging_ = smart;

  std::set<std::string> started, stopped;
  for (const std::string& app : monitor.playingApps) {
    if (!playing_.contains(app)) started.insert(app);
  }
  for (const std::string& app : playing_) {
    if (!monitor.playingApps.contains(app)) stopped.insert(app);
  }
  if (!started.empty()) add(at, kPlaying, "Playing sound: " + joined(started), std::nullopt);
  if (!stopped.empty()) add(at, kPlaying, "Stopped playing: " + joined(stopped), std::nullopt);
  playing_ = monitor.playingApps;
}

}  // namespace ebbwise

#include "ui/panel_wording.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "accounting/app_share.h"
#include "base/time_left.h"

namespace ebbwise::ui {

namespace PanelWording {

namespace {

// Minutes that make no sense as a time are no time.
std::optional<double> sane(std::optional<double> minutes) {
  if (!minutes || !std::isfinite(*minutes) || *minutes < 0) return std::nullopt;
  return minutes;
}

std::string count(double value) {
  return figure("%.0f", value);
}

}  // namespace

std::string figure(const char* format, double value) {
  double v = std::isnan(value) ? 0.0 : std::clamp(value, -999'999.0, 999'999.0);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, v);
  return buffer;
}

std::string headerCaption(bool chargingNow, std::optional<double> netWatts) {
  if (chargingNow) return "charging now";
  return netWatts && *netWatts >= 0.05 ? "charging" : "draining now";
}

std::optional<Tile> timeTile(const PanelInput& input) {
  const NotchViewInput& n = input.notch;
  if (!n.battery) return std::nullopt;
  if (n.battery->onAC) {
    bool draining = n.netBatteryWatts && *n.netBatteryWatts < -ChargeFlow::kHoldingBand;
    if (draining) {
      // The system gives no time left on the charger; the battery's own
      // charge at the present net drain does.
      auto left = sane(n.minutesLeft);
      if (!left) left = TimeLeft::minutesToEmpty(n.battery->remainingWh, -*n.netBatteryWatts);
      return Tile{"charger too weak", left ? TimeLeft::format(*left) : "\u2014"};
    }
    if (auto full = sane(n.minutesToFull)) return Tile{"to full", TimeLeft::format(*full)};
    return std::nullopt;
  }
  if (auto left = sane(n.minutesLeft)) return Tile{"to empty", TimeLeft::format(*left)};
  return std::nullopt;
}

std::optional<Tile> capacityTile(const PanelInput& input) {
  const auto& battery = input.notch.battery;
  if (!battery || !battery->chargeMAh) return std::nullopt;
  return Tile{count(static_cast<double>(*battery->chargeMAh)) + " mAh",
              figure("%.0f%%", battery->percent)};
}

std::string capacityHelp(const PanelInput& input) {
  const auto& battery = input.notch.battery;
  if (!battery || !battery->chargeMAh) return {};
  std::optional<double> full = input.fullMAh;
  if (!full && battery->fullMAh) full = static_cast<double>(*battery->fullMAh);
  std::string help = "Real charge: " + count(static_cast<double>(*battery->chargeMAh)) + " of " +
                     (full ? count(*full) : "?") +
                     " mAh. The total is the average of the battery's own "
                     "capacity estimates, which jump by a few percent between readings.";
  if (battery->systemPercent && std::round(*battery->systemPercent) != std::round(battery->percent))
    help += " macOS shows " + count(*battery->systemPercent) +
            "%: it counts roughly the top 5% as full.";
  return help;
}

std::string rowCaption(std::string_view row, const std::optional<std::string>& speakersKeptOnBy,
                       bool speakersMeasured) {
  using Row = AppShare;
  if (row == Row::macOSName) return "WindowServer, Spotlight and other system tasks";
  if (row == Row::graphicsName) return "macOS drawing all your windows on screen";
  if (row == Row::chipName) return "Memory and the chip's always-on parts";
  if (row == Row::otherName) return "Everything else, each under 0.1 W";
  if (row == Row::videoName) return "Video being decoded: a page, an app, or a moving wallpaper";
  if (row == Row::macName) return "Background tasks, drawing your windows, memory";
  if (row == Row::speakersName)
    return speakersKeptOnBy ? "Kept on by " + *speakersKeptOnBy : std::string();
  if (row == Row::otherHardwareName) {
    std::string text = "Wi-Fi, Bluetooth, storage, keyboard light, power conversion";
    if (!speakersMeasured) text += ", and the speakers until they're measured";
    return text;
  }
  if (row == Row::screenAndOtherName) return "Can't be split until your screen is measured";
  if (row == "Claude") return "The Claude app itself. Claude Code sessions are listed separately.";
  return {};
}

std::string factsLine(const RowFacts& facts) {
  std::string line;
  auto add = [&](const std::string& part) {
    if (part.empty()) return;
    if (!line.empty()) line += " \u00B7 ";
    line += part;
  };
  if (facts.folder) add("Claude Code in " + *facts.folder);
  if (auto started = sane(facts.startedMinutesAgo)) add("started " + TimeLeft::format(*started));
  if (auto running = sane(facts.runningMinutes)) add("running " + TimeLeft::format(*running));
  if (facts.processes > 0)
    add(std::to_string(facts.processes) + " processes");
  else if (facts.folder)
    add("the session itself, nothing else running");
  return line;
}

std::string windowTitle(std::string_view menuBarText) {
  if (menuBarText.empty()) return "Ebbwise";
  return "Ebbwise \u00B7 " + std::string(menuBarText);
}

std::string stopTitle(const RowFacts& facts) {
  if (facts.childTasks > 0) return "Stop its " + std::to_string(facts.childTasks) + " tasks";
  return facts.forceStop ? "Force stop" : "Stop";
}

std::string screenLine(const PanelCalibration& c, std::optional<double> brightness) {
  if (!c.screenMeasured || !c.screenWattsFull) return "Screen: not measured yet";
  std::string line = "Screen: ";
  if (brightness && c.screenWattsNow && std::isfinite(*brightness)) {
    int percent = static_cast<int>(std::lround(std::clamp(*brightness, 0.0, 1.0) * 100));
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%d", percent);
    line += figure("%.1f", *c.screenWattsNow) + " W at " + buffer + "%, ";
  }
  return line + figure("%.1f W at full brightness", *c.screenWattsFull);
}

std::string speakersLine(const PanelCalibration& c) {
  if (!c.speakerWatts) return "Speakers: not measured yet";
  return "Speakers: " + figure("%.2f W while switched on", *c.speakerWatts);
}

std::string measureTitle(const PanelCalibration& c) {
  if (c.isCalibrating) return "Measuring your screen\u2026";
  return c.screenMeasured ? "Measure screen & speakers again\u2026"
                          : "Measure screen & speakers\u2026";
}

std::string cardText(const PanelCalibration& c, std::optional<double> brightness) {
  std::string where = "where it was";
  if (brightness && std::isfinite(*brightness))
    where = figure("%.0f%%", std::clamp(*brightness, 0.0, 1.0) * 100);
  return "For about " + std::to_string(c.totalSeconds) +
         " seconds, Ebbwise changes your screen's brightness step by step, "
         "from dim to full, then puts it back to " +
         where +
         ". Then it switches the keyboard light off and to full, "
         "and puts it back. Then it switches your speakers on for a few seconds "
         "without playing anything, so you won't hear a thing. A message stays on screen the "
         "whole time, and Esc stops it.";
}

std::string lowPowerHelp(bool on) {
  return on ? "Low Power Mode is on. Click to turn it off (asks for your password)."
            : "Turn on Low Power Mode (asks for your password).";
}

std::string onBattery(double seconds) {
  double minutes = std::isfinite(seconds) ? std::max(seconds, 0.0) / 60 : 0;
  return TimeLeft::format(std::min(minutes, 999'999.0)) + " on battery";
}

std::string percents(std::optional<double> start, std::optional<double> now) {
  if (!start || !now) return {};
  return figure("%.0f%%", std::clamp(*start, 0.0, 100.0)) + " \u2192 " +
         figure("%.0f%%", std::clamp(*now, 0.0, 100.0));
}

std::string used(double joules) {
  return figure("%.1f Wh used", joules / 3600);
}

}  // namespace PanelWording

}  // namespace ebbwise::ui

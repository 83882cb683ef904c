#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ui/panel_input.h"

namespace ebbwise::ui {

// The panels' own texts, composed from the published figures. Figures that
// are not numbers, or absurdly large, still give a short text.
namespace PanelWording {

// "%.1f W" and its kin with the figure bounded, so no text grows without end.
std::string figure(const char* format, double value);

// Above the big figure: "charging now", "charging" or "draining now".
std::string headerCaption(bool chargingNow, std::optional<double> netWatts);

// The time tile: its label and figure; nothing without an estimate.
struct Tile {
  std::string label;
  std::string value;
};
std::optional<Tile> timeTile(const PanelInput& input);
// The capacity tile: "3120 mAh" over the percent, with its help text.
std::optional<Tile> capacityTile(const PanelInput& input);
std::string capacityHelp(const PanelInput& input);

// The caption under a row's name; empty when the row has none.
std::string rowCaption(std::string_view row, const std::optional<std::string>& speakersKeptOnBy,
                       bool speakersMeasured);
// What a stoppable row says about its processes.
std::string factsLine(const RowFacts& facts);
// The title of the larger panel's window: the application's name, then the
// menu-bar item's text when there is one.
std::string windowTitle(std::string_view menuBarText);
std::string stopTitle(const RowFacts& facts);

// "Screen: not measured yet" or what it draws; likewise the speakers.
std::string screenLine(const PanelCalibration& calibration, std::optional<double> brightness);
std::string speakersLine(const PanelCalibration& calibration);
// "Measure screen & speakers…", "… again…", or "Measuring your screen…".
std::string measureTitle(const PanelCalibration& calibration);
// The explanation card's text before a run.
std::string cardText(const PanelCalibration& calibration, std::optional<double> brightness);

std::string lowPowerHelp(bool on);

// The menu-bar panel's range summary: "2h 05m on battery", the percents and
// the energy used.
std::string onBattery(double seconds);
std::string percents(std::optional<double> start, std::optional<double> now);
std::string used(double joules);

inline constexpr std::array<std::string_view, 3> rangeTitles = {"Since unplug", "24 hours",
                                                                "7 days"};

inline constexpr std::string_view tipTitle =
    "Ebbwise now shows your battery around the notch. Hide macOS's own battery icon?";
inline constexpr std::string_view tipText =
    "In Control Center settings, set Battery to \"Don't Show in Menu Bar\".";
inline constexpr std::string_view trackingStarts =
    "Tracking starts the next time you unplug. The 24 hours and 7 days tabs fill in as "
    "history builds up.";
inline constexpr std::string_view notEnoughData = "Not enough data yet.";

}  // namespace PanelWording

}  // namespace ebbwise::ui

#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "display_rules/fullscreen_style.h"
#include "display_rules/line_theme.h"
#include "display_rules/power_format.h"
#include "sensors/power/battery_reading.h"
#include "ui/canvas.h"
#include "ui/notch_state.h"
#include "ui/row_icon.h"

namespace ebbwise::ui {

// What the notch shows, as the application model publishes it.
struct NotchViewInput {
  std::optional<BatteryReading> battery;
  bool isChargingNow = false;
  bool lowPowerOn = false;
  std::optional<double> netBatteryWatts;  // + into the battery, − out of it
  std::optional<double> minutesToFull;
  std::optional<double> minutesLeft;
  // Apps draining heavily right now, heaviest first: row name and watts.
  std::vector<std::pair<std::string, double>> hogs;
  RowImages hogIcons = {};  // the icons of those apps that have one
  PowerUnit unit = PowerUnit::percentPerHour;
  LineTheme lineTheme = LineTheme::battery;
  FullscreenStyle fullscreenStyle = FullscreenStyle::dim;
  bool isFullscreen = false;
  bool demoNotch = false;

  friend bool operator==(const NotchViewInput&, const NotchViewInput&) = default;
};

// Where the notch's animations stand at one moment.
struct NotchMotion {
  double openness = 0;      // 0 closed, 1 open (a spring may pass 1 for a moment)
  double panelOpacity = 0;  // the panel's contents
  double level = 1;         // the battery line's length, a share of the outline
  double sweepPhase = 0;    // cycles of the charging sweep

  // The resting motion of a state: no animation under way.
  static NotchMotion resting(const NotchState& state, const NotchViewInput& input);
};

// Draws the panel's contents into a box of the given size at the origin.
using PanelContents = std::function<void(Canvas&, Size)>;

// The notch display: the black tab over the camera notch, the battery line
// around it, the labels beside it, and the panel the tab grows into.
namespace NotchView {

// The most apps the right label shows.
inline constexpr std::size_t maxHogs = 4;

// Draws with the top centre of the notch at the canvas's origin.
void draw(Canvas& canvas, const NotchViewInput& input, const NotchState& state,
          const NotchMotion& motion, const PanelContents& panel = {});

// The battery line's length for a reading: its percent as a share of the
// outline, the whole outline without a reading.
double level(const NotchViewInput& input);

// The battery line's colour at a percent (nothing: no reading, drawn as full).
Color lineColor(LineTheme theme, std::optional<double> percent);

// The opacity of the line and labels: dimmed or hidden over a fullscreen app
// while the panel is closed.
double fullscreenOpacity(const NotchViewInput& input, const NotchState& state);

// The tab's size, flare and corner radius at an openness between closed (0)
// and open (1).
struct TabShape {
  Size size;
  double flare = 0;
  double radius = 0;
};
TabShape tab(const NotchState& state, double openness);

}  // namespace NotchView

}  // namespace ebbwise::ui

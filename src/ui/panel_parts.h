#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sensors/power/charge_flow.h"
#include "ui/canvas.h"
#include "ui/panel_input.h"
#include "ui/panel_menu.h"

namespace ebbwise::ui {

// A place in a drawn panel that does something when clicked, or explains
// itself when the pointer rests on it.
struct PanelHotspot {
  Box box;
  std::string action;  // empty: only a help text
  int choice = -1;     // the choice a picker's entry stands for
  std::string help;
  std::string row;  // the row a stop button stops
};

// Where a panel's parts ended up: its height and its hotspots, in the
// panel's coordinates.
struct PanelLayout {
  double height = 0;
  std::vector<PanelHotspot> hotspots;

  // The hotspot with an action under `p`, if any.
  const PanelHotspot* actionAt(Point p) const;
  // The help text of what lies under `p`, if any.
  const PanelHotspot* helpAt(Point p) const;
  // The first hotspot of `action`, if any.
  const PanelHotspot* find(std::string_view action) const;
};

// What the panel's viewer holds rather than the model: whether its settings
// menu is open, and the pulse of rows drawing power now.
struct PanelUiState {
  bool menuOpen = false;
  bool pulse = false;
  // Where the pointer rests, in the panel's points; a control with a help
  // text under it shows the text.
  std::optional<Point> pointer;
};

// The small pieces both panels are built from. Each draws at a given place
// and returns the height it took; hotspots go into the layout.
namespace PanelParts {

inline constexpr double padding = 16;
inline constexpr double sectionSpacing = 12;
inline constexpr double cardRadius = 10;
// Full rows: the figures' columns at the right, inside the row's inset.
inline constexpr double rowInset = 8;
inline constexpr double shareColumn = 40;
inline constexpr double usedColumn = 60;

const TextStyle& captionStyle();
const TextStyle& bodyStyle();
Color cardColor();

// A text wrapped at `width`; its height.
double wrapped(Canvas& canvas, std::string_view text, Point at, double width,
               const TextStyle& style, const Color& color);

// The big figure with its unit after it; its size.
Size bigPower(Canvas& canvas, Point at, const std::string& text, std::string_view unit,
              double size);

// A label over a figure, aligned to the right at `right`; its size.
Size statTile(Canvas& canvas, double right, double top, const std::string& label,
              const std::string& value);

// A dot in `color` and a text; its width.
double dotLabel(Canvas& canvas, Point at, const Color& color, const std::string& text);

// The charger's input split into what the Mac uses and what goes into the
// battery (or comes out of it), with a legend.
double flowBar(Canvas& canvas, const Box& box, const ChargeFlow& flow,
               const std::function<std::string(double)>& format);

// A line with a symbol in front.
double noteLine(Canvas& canvas, Point at, double width, std::string_view symbol,
                const Color& symbolColor, std::string_view text, const Color& textColor,
                PanelLayout& layout, const std::string& help = {});

// One app or hardware row: compact (power now) or full (share, energy and
// power of the range).
double appRow(Canvas& canvas, Point at, double width, const PanelRow& row, bool compact,
              const PanelInput& input, PanelLayout& layout);

// A rounded button; its box.
Box button(Canvas& canvas, Point at, const std::string& title, bool prominent, bool enabled,
           PanelLayout& layout, const std::string& action);

// The small measuring button, with the run's progress while one is under way.
double measureButton(Canvas& canvas, Point at, double width, const PanelInput& input,
                     PanelLayout& layout);

// The card that explains a calibration run before it starts.
double measureCard(Canvas& canvas, Point at, double width, const PanelInput& input,
                   PanelLayout& layout);

// A menu's entries listed in place.
double menu(Canvas& canvas, Point at, double width, const std::vector<MenuItem>& items,
            PanelLayout& layout);

// The help text of the control under `ui.pointer`, in a box below it kept
// inside the panel's `width`.
void tooltip(Canvas& canvas, const PanelLayout& layout, const PanelUiState& ui, double width);

// A thin line across.
void divider(Canvas& canvas, double x, double y, double width);

// The foot of a panel: a line, the settings button (`symbol`, `size` points
// square, at the right) and its menu listed in place when open, then the
// help box of the control under the pointer. Sets `layout.height` from
// `bottom`, the margin under the last part.
void settingsFooter(Canvas& canvas, double left, double y, double inner, double panelWidth,
                    std::string_view symbol, double size, const std::vector<MenuItem>& items,
                    double bottom, const PanelUiState& ui, PanelLayout& layout);

}  // namespace PanelParts

}  // namespace ebbwise::ui

#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "accounting/chart_series.h"
#include "display_rules/power_format.h"
#include "sensors/power/battery_reading.h"
#include "sys/date.h"
#include "ui/canvas.h"
#include "ui/row_icon.h"

namespace ebbwise::ui {

// What the power chart shows, as the application model publishes it.
struct DrainChartInput {
  // Samples of the last minutes: when, and watts per chart series.
  std::vector<std::pair<sys::Date, ChartSeries::Point>> drainHistory;
  std::vector<std::string> chartLines;    // the series drawn, maybe with the rest line
  std::map<std::string, int> seriesSlot;  // each row's colour slot
  RowImages icons = {};                   // the app icons of the lines that have one
  PowerUnit unit = PowerUnit::percentPerHour;
  std::optional<BatteryReading> battery;                   // its capacity, for percent per hour
  std::vector<std::pair<sys::Date, bool>> lowPowerEvents;  // when Low Power Mode went on/off
  sys::Date now;
};

// The power of the largest rows over the last minutes as lines, with Low
// Power Mode switches marked, each line's name and value at its end, and a
// tooltip under the pointer.
namespace DrainChart {

inline constexpr double height = 180;
inline constexpr double shortestRange = 900;  // seconds shown at least
inline constexpr double markerSpacing = 15;   // end markers at least this far apart

struct Layout {
  Box plot;                 // where the lines go, in the chart's coordinates
  double startTime = 0;     // seconds since 1970 at the plot's left edge
  double endTime = 0;       // and at its right edge (now)
  double top = 1.1;         // value at the plot's top edge, in the shown unit
  double markerColumn = 0;  // width of the end markers' figures
};

// The layout of a chart `width` points wide.
Layout layout(const DrainChartInput& input, double width);

// A series' values in the shown unit (watts or percent per hour), one per
// sample; figures that are not numbers count as 0.
std::vector<double> values(const DrainChartInput& input, const std::string& series);

// Spreads end markers (their wanted heights, any order) so that no two are
// closer than `markerSpacing`, keeping their order; if the lowest passes
// `bottom`, all move up by the overflow. Returns the heights in input order.
std::vector<double> spreadMarkers(const std::vector<double>& wanted, double bottom);

// The tooltip's left edge: centred on the pointer, kept inside the plot.
double tooltipX(double pointerX, double tooltipWidth, double plotWidth);

// Draws the chart `width` points wide and `height` tall at the origin;
// `pointerX` is the pointer's x in the plot while it hovers there.
void draw(Canvas& canvas, const DrainChartInput& input, double width,
          std::optional<double> pointerX = std::nullopt);

}  // namespace DrainChart

}  // namespace ebbwise::ui

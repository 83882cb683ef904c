#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "accounting/since_charge.h"
#include "display_rules/power_format.h"
#include "sensors/power/battery_reading.h"
#include "sys/date.h"
#include "ui/canvas.h"
#include "ui/row_icon.h"

namespace ebbwise::ui {

// What the since-charge bars show, as the application model publishes it.
struct SinceChargeBarsInput {
  std::optional<SinceCharge> sinceCharge;
  std::map<std::string, double> nowRowWatts;  // rows drawing power now
  std::vector<std::string> chartedRows;       // rows with a colour of their own
  std::map<std::string, int> seriesSlot;
  RowImages icons = {};  // the app icons of the rows that have one
  PowerUnit unit = PowerUnit::percentPerHour;
  std::optional<BatteryReading> battery;
  sys::Date now;
};

// The rows that used the most energy since the Mac was unplugged, as bars.
namespace SinceChargeBars {

inline constexpr std::size_t maxBars = 6;
inline constexpr double padding = 6;
inline constexpr double rowHeight = 19;
inline constexpr double headerHeight = 20;

// The bars: nothing without a record or with nothing used yet.
std::vector<SinceCharge::Bar> bars(const SinceChargeBarsInput& input);

// Height of the view; 0 when it shows nothing.
double height(const SinceChargeBarsInput& input);

// Draws the view `width` points wide at the origin. `pulse` flips to make
// the rows drawing power now pulse.
void draw(Canvas& canvas, const SinceChargeBarsInput& input, double width, bool pulse);

}  // namespace SinceChargeBars

}  // namespace ebbwise::ui

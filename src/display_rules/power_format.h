#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace ebbwise {

// How power figures are shown: watts, or percent of the battery per hour.
enum class PowerUnit { percentPerHour, watts };

inline constexpr std::array<PowerUnit, 2> allPowerUnits = {PowerUnit::percentPerHour,
                                                           PowerUnit::watts};

// The stored setting: "percentPerHour", "watts".
std::string_view rawValue(PowerUnit unit);
// Nothing for a string that names no unit.
std::optional<PowerUnit> powerUnitFromRawValue(std::string_view raw);

// "W" or "%/h".
std::string_view label(PowerUnit unit);

// The one formatter of power figures, so every place shows them alike.
//
// Figures that are not numbers show as 0, and magnitudes beyond 999 999
// (infinities included) show as 999 999: no Mac draws that much, and the
// text keeps a bounded width. Decimals are held to 0…6.
namespace PowerFormat {

// `watts` in `unit` ("12.3 W", "+10%/h"): percent per hour is of a battery
// holding `fullWh` (0 when that is not positive). A figure that shows as zero
// has no sign; otherwise `isSigned` puts "+" or "−" (U+2212) before it, and
// without it only negative figures get "−". `tight` drops the space before
// the unit.
std::string string(double watts, PowerUnit unit, double fullWh, bool isSigned, int decimals,
                   bool tight);

}  // namespace PowerFormat

// The net power into (+) or out of (−) the battery beside the notch.
namespace NetPower {

// "0 W" within 0.05 W of zero, else "+12.0 W" or "−3.5 W" (U+2212). NaN
// shows as "0 W"; magnitudes are held to 999 999 W as in `PowerFormat`.
std::string label(double watts);

}  // namespace NetPower

}  // namespace ebbwise

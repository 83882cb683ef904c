#pragma once

#include <string>

namespace ebbwise {

// Units that fit a report's figures: a ten-second run is told in seconds and
// milliwatt-hours, a week in days and watt-hours.
namespace ReportUnits {

enum class Energy { milliwattHours, wattHours };

// The unit for a table whose largest figure is `largestJoules`: watt-hours
// from 1 Wh on, milliwatt-hours below.
Energy energyFor(double largestJoules);

// "12.34 Wh" or "55.6 mWh"; figures that are not numbers show as "-".
std::string energy(double joules, Energy unit);
// In the unit that fits the figure itself.
std::string energy(double joules);

// How long something lasted: "10s" under a minute, "45m", "1h 05m", and
// "2d 05h" from a day on. Negative or not-a-number spans show as "-".
std::string span(double seconds);

}  // namespace ReportUnits

}  // namespace ebbwise

#pragma once

#include <string>

namespace ebbwise {

// A figure written with a printf format taking one or two doubles ("%.1f W",
// "%.0f of %.0f mAh"), cut at 63 bytes so an absurd figure cannot grow a
// report line without end.
std::string numberText(const char* format, double a, double b = 0);

// Watts with one decimal: "12.3 W".
std::string wattsText(double watts);

}  // namespace ebbwise

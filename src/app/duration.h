#pragma once

#include <optional>
#include <string_view>

namespace ebbwise {

// Reads how long a run should last, as the user typed it: the forms scenario
// files use (see sys::DurationText: "90", "30s", "15m", "1h30m", "1.5h",
// "1d", "2d12h", "1:30:00"). Nothing for anything else, for zero or negative
// durations and for durations too long to run (over a year).
std::optional<double> parseDuration(std::string_view text);

// The longest run `parseDuration` accepts, in seconds.
inline constexpr double kLongestRun = 366.0 * 24 * 3600;

}  // namespace ebbwise

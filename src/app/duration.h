#pragma once

#include <optional>
#include <string_view>

namespace ebbwise {

// Reads a duration typed by the user: plain seconds ("90"), or a number with
// a unit ("30s", "15m", "1.5h"). Nothing for anything else, for zero or
// negative durations and for durations too long to simulate (over a year).
std::optional<double> parseDuration(std::string_view text);

}  // namespace ebbwise

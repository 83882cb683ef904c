#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ebbwise::sys {

// Durations as people type them, in scenario files and on the command line.
namespace DurationText {

// Seconds of `text`: a plain number of seconds ("90", "0.5"), numbers with
// units from days down to seconds, each unit at most once and largest first
// ("1d", "2d12h", "1h30m", "1h20m05s", "1.5h", "15m"), or a clock reading
// ("1:30:00", "45:00"). A leading minus makes it negative; spaces around it
// are ignored. Nothing for anything else, among them "1h30" (thirty what?),
// "30m1h" and units repeated.
std::optional<double> parse(std::string_view text);

// `seconds` rounded to the second in the units `parse` reads, largest first
// and only those that are not zero: "4h", "1h30m", "2d12h", "45s", "0s".
std::string format(double seconds);

}  // namespace DurationText

}  // namespace ebbwise::sys

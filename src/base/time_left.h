#pragma once

#include <optional>
#include <string>

namespace ebbwise {

// Time left on battery: the estimate and its two text forms.
namespace TimeLeft {

// Minutes until empty at the given average drain; nothing while the drain is
// 0.5 W or less or nothing is left.
std::optional<double> minutesToEmpty(double remainingWh, double averageDrainWatts);

// "1h 05m" from an hour on, "45m" below; a negative count gets "−" (U+2212).
std::string format(double minutes);

// "2h05" from an hour on, "45m" below; a steady figure of an hour or more is
// rounded to five minutes so the label does not flicker.
std::string compact(double minutes, bool steady);

}  // namespace TimeLeft

}  // namespace ebbwise

#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ebbwise {

// The power-source symbol left of the notch.
namespace PowerSourceIcon {

// A name of the system symbol set: a bolt while charging, a plug on the
// charger without charging, else a battery filled to the nearest quarter.
std::string_view symbol(bool onAC, bool isCharging, double percent);

}  // namespace PowerSourceIcon

// The two-line label right of the notch.
namespace NotchRightLabel {

struct Lines {
  std::string caption;  // what the figure is about ("> Full", "Holding", "> Empty")
  std::string value;    // the figure
  friend bool operator==(const Lines&, const Lines&) = default;
};

// Time to full while charging, the held percent on the charger without
// charging, time left on battery; nothing when there is no figure to show.
// The held percent is shown within 0…100 (NaN as 0).
std::optional<Lines> lines(std::optional<double> minutesToFull, bool onAC,
                           std::optional<double> minutesLeft, double percent);

}  // namespace NotchRightLabel

}  // namespace ebbwise

#include "display_rules/notch_labels.h"

#include <algorithm>
#include <cmath>

#include "base/time_left.h"

namespace ebbwise {

namespace PowerSourceIcon {

std::string_view symbol(bool onAC, bool isCharging, double percent) {
  if (onAC) return isCharging ? "bolt.fill" : "powerplug.fill";
  if (percent >= 88) return "battery.100percent";
  if (percent >= 63) return "battery.75percent";
  if (percent >= 38) return "battery.50percent";
  if (percent >= 13) return "battery.25percent";
  return "battery.0percent";
}

}  // namespace PowerSourceIcon

namespace NotchRightLabel {

std::optional<Lines> lines(std::optional<double> minutesToFull, bool onAC,
                           std::optional<double> minutesLeft, double percent) {
  if (minutesToFull) return Lines{"> Full", TimeLeft::compact(*minutesToFull, false)};
  if (onAC) {
    double shown = std::isnan(percent) ? 0.0 : std::clamp(percent, 0.0, 100.0);
    return Lines{"Holding", std::to_string(std::llround(shown)) + "%"};
  }
  // A steady figure, so the label does not change every few seconds.
  if (minutesLeft) return Lines{"> Empty", TimeLeft::compact(*minutesLeft, true)};
  return std::nullopt;
}

}  // namespace NotchRightLabel

}  // namespace ebbwise

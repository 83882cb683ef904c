#include "sensors/power/heat_warning.h"

#include <cmath>
#include <cstdio>

namespace ebbwise::HeatWarning {

std::vector<Message> messages(int thermalState, std::optional<double> batteryC, bool charging) {
  std::vector<Message> out;
  if (thermalState >= 3) {
    out.push_back({"Mac is very hot · running much slower",
                   "Your Mac is very hot and running much slower to cool down."});
  } else if (thermalState == 2) {
    out.push_back({"Mac is hot and slowing down · try a hard surface",
                   "Your Mac is hot and slowing down to cool off. On your lap? A hard surface "
                   "helps it cool."});
  }
  // A temperature that is not a number is no temperature.
  if (!batteryC || !std::isfinite(*batteryC) || !(*batteryC >= hotBattery)) return out;
  char degrees[512];
  std::snprintf(degrees, sizeof degrees, "%.0f \u00B0C", std::round(*batteryC));
  const std::string t = degrees;
  if (charging) {
    out.push_back(
        {"Battery at " + t + " · charging may slow",
         "Battery at " + t + ". macOS may charge more slowly while it's hot, to protect it."});
  } else {
    out.push_back({"Battery at " + t + " · heat wears it faster",
                   "Battery at " + t + ". Heat wears a battery faster."});
  }
  return out;
}

}  // namespace ebbwise::HeatWarning

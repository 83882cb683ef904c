#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ebbwise {

// What the panel says when the Mac or its battery runs hot.
namespace HeatWarning {

// From this battery temperature on, a warning is shown.
inline constexpr double hotBattery = 40.0;
// The longest a warning line may be, in characters; every line fits.
inline constexpr std::size_t maxLength = 52;

struct Message {
  std::string line;
  std::string detail;
  friend bool operator==(const Message&, const Message&) = default;
};

// The warnings for the system's thermal state (0 nominal … 3 critical) and
// the battery's temperature (absent when unknown), most serious first.
std::vector<Message> messages(int thermalState, std::optional<double> batteryC, bool charging);

}  // namespace HeatWarning

}  // namespace ebbwise

#pragma once

#include <optional>
#include <string>

#include "sys/power_sources.h"
#include "sys/value.h"

namespace ebbwise {

// The system's own charging decisions for the internal battery: holding it
// at 80 % until closer to when the user usually unplugs, or finishing the
// last percent slowly.
struct SmartCharging {
  bool holding = false;
  bool finishing = false;

  // The internal battery's state from the power-source service; nothing
  // when the service answers nothing or lists no internal battery.
  static std::optional<SmartCharging> read(sys::PowerSources& powerSources);

  // From one power source's description dictionary. Each flag is a number
  // (the platform's booleans are numbers too), true when not zero; a missing
  // or mistyped key reads as false.
  static SmartCharging fromPowerSource(const sys::Value& description);

  // The panel's line and its help text; nothing when neither applies.
  std::optional<std::string> message() const;
  std::optional<std::string> detail() const;

  friend bool operator==(const SmartCharging&, const SmartCharging&) = default;
};

}  // namespace ebbwise

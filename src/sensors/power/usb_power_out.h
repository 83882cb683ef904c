#pragma once

#include <cstdint>
#include <vector>

#include "sys/value.h"

namespace ebbwise {

// Power the Mac delivers out of one of its own USB-C ports.
struct USBPowerOut {
  std::int64_t port = 0;  // port index as the registry gives it
  double watts = 0;

  // Reads the battery entry's "PowerOutDetails" value (null when the key is
  // missing); anything not shaped as expected gives fewer or no entries.
  static std::vector<USBPowerOut> parse(const sys::Value* value);

  friend bool operator==(const USBPowerOut&, const USBPowerOut&) = default;
};

}  // namespace ebbwise

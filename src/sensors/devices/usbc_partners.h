#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "sys/registry.h"

namespace ebbwise {

// Who is at the other end of each USB-C port: the USB Power Delivery partner
// the port controller negotiated with, by its USB vendor identifier. Names
// the charger's maker.
namespace USBCPartners {

// USB-C port number to the partner's vendor identifier (at least 1).
using Partners = std::map<int, std::int64_t>;

// The registry's power-delivery partners; empty when none can be read.
Partners read(sys::Registry& registry);

// The port in an entry's description ("Port-USB-C@2/…" → 2).
std::optional<int> port(std::string_view description);

// The maker of a vendor identifier, for the makers of common chargers.
std::optional<std::string> brand(std::int64_t vendor);
const std::map<std::int64_t, std::string>& brands();

}  // namespace USBCPartners

}  // namespace ebbwise

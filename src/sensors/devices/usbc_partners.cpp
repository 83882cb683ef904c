#include "sensors/devices/usbc_partners.h"

#include <charconv>

namespace ebbwise::USBCPartners {

namespace {
constexpr std::string_view kPartnerClass = "IOPortTransportComponentCCUSBPDSOP";
constexpr std::string_view kMarker = "Port-USB-C@";
}  // namespace

const std::map<std::int64_t, std::string>& brands() {
  static const std::map<std::int64_t, std::string> table = {
      {0x05AC, "Apple"},   {0x17EF, "Lenovo"}, {0x413C, "Dell"},      {0x03F0, "HP"},
      {0x04E8, "Samsung"}, {0x18D1, "Google"}, {0x045E, "Microsoft"}, {0x291A, "Anker"},
      {0x050D, "Belkin"},  {0x0B05, "ASUS"},
  };
  return table;
}

std::optional<std::string> brand(std::int64_t vendor) {
  auto it = brands().find(vendor);
  if (it == brands().end()) return std::nullopt;
  return it->second;
}

std::optional<int> port(std::string_view description) {
  const auto at = description.find(kMarker);
  if (at == std::string_view::npos) return std::nullopt;
  const std::string_view rest = description.substr(at + kMarker.size());
  std::size_t digits = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
  int value = 0;
  auto [end, error] = std::from_chars(rest.data(), rest.data() + digits, value);
  if (digits == 0 || error != std::errc() || end != rest.data() + digits) return std::nullopt;
  return value;
}

Partners read(sys::Registry& registry) {
  Partners out;
  for (sys::RegistryEntry entry : registry.matchingServices(kPartnerClass)) {
    auto description = registry.property(entry, "Description");
    auto vendorValue = registry.property(entry, "Vendor ID");
    if (!description || !vendorValue) continue;
    auto text = sys::asString(&*description);
    auto vendor = sys::asInteger(&*vendorValue);
    if (!text || !vendor) continue;
    auto number = port(*text);
    if (!number || *vendor < 1) continue;
    out[*number] = *vendor;
  }
  return out;
}

}  // namespace ebbwise::USBCPartners

#include "sensors/power/usb_power_out.h"

namespace ebbwise {

namespace {

// Below this many milliwatts a port is idle; the controller reports small
// leakage figures that are not a device being powered.
constexpr double minimumMilliwatts = 50;

}  // namespace

std::vector<USBPowerOut> USBPowerOut::parse(const sys::Value* value) {
  std::vector<USBPowerOut> out;
  const sys::Value* list = sys::asList(value);
  if (!list) return out;
  // The value counts only as a whole list of dictionaries; one stray element
  // means the shape is not the one we know.
  for (const auto& entry : *list) {
    if (!entry.is_object()) return {};
  }
  for (const auto& entry : *list) {
    auto port = sys::asInteger(sys::member(entry, "PortIndex"));
    if (!port) continue;
    // "Watts" stands in only when the filtered figure is missing; an unreadable
    // filtered figure drops the entry.
    const sys::Value* power = sys::member(entry, "FilteredPower");
    if (!power) power = sys::member(entry, "Watts");
    auto milliwatts = sys::asNumber(power);
    if (!milliwatts || *milliwatts < minimumMilliwatts) continue;
    out.push_back(USBPowerOut{*port, *milliwatts / 1000});
  }
  return out;
}

}  // namespace ebbwise

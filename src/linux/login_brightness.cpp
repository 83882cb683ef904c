#include "linux/login_brightness.h"

namespace ebbwise::linux_host {

LoginBrightness::LoginBrightness(std::optional<std::string> busAddress, double timeoutSeconds)
    : bus_(std::move(busAddress), timeoutSeconds) {}

std::optional<sys::PlatformError> LoginBrightness::setThroughSession(const BacklightDevice& device,
                                                                     std::uint32_t value) {
  std::lock_guard lock(mutex_);
  BusMessage m, reply;
  if (auto e = bus_.newCall(m, kService, kSessionPath, kSessionInterface, "SetBrightness")) {
    return e;
  }
  const int r =
      sd_bus_message_append(m.m, "ssu", device.subsystem.c_str(), device.name.c_str(), value);
  if (r < 0) return BusConnection::failure(r);
  return bus_.call(m, reply);
}

bool LoginBrightness::set(const BacklightDevice& device, std::uint32_t value) {
  if (!setThroughSession(device, value)) return true;
  return device.writeDirectly(value);
}

}  // namespace ebbwise::linux_host

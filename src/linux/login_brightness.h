#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "linux/backlight_device.h"
#include "linux/bus_connection.h"

namespace ebbwise::linux_host {

// Sets a backlight's brightness the way a desktop does without root: the
// login manager's SetBrightness on the user's session, over the system bus.
// Where no login manager answers (or it refuses) and the device file is the
// user's to write, it writes the file itself. A call waits at most the time
// limit for the bus. Safe from several threads.
class LoginBrightness {
 public:
  // `busAddress` absent: the system bus.
  LoginBrightness(std::optional<std::string> busAddress, double timeoutSeconds);

  // Whether the device now has `value`.
  bool set(const BacklightDevice& device, std::uint32_t value);

  static constexpr const char* kService = "org.freedesktop.login1";
  // The caller's own session, or the user's graphical one for a process
  // outside any session (a user service).
  static constexpr const char* kSessionPath = "/org/freedesktop/login1/session/auto";
  static constexpr const char* kSessionInterface = "org.freedesktop.login1.Session";

 private:
  std::optional<sys::PlatformError> setThroughSession(const BacklightDevice& device,
                                                      std::uint32_t value);

  std::mutex mutex_;
  BusConnection bus_;
};

}  // namespace ebbwise::linux_host

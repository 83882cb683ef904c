#pragma once

#include <string>

#include "linux/login_brightness.h"
#include "sys/core_brightness.h"

namespace ebbwise::linux_host {

// The keyboard-brightness class of the private framework, served by the
// keyboard's backlight LEDs in sysfs ("…::kbd_backlight"): the keyboards'
// ids are their positions in name order, starting at 1, asked afresh each
// time (a keyboard may come or go); a level is the LED's brightness over its
// maximum, set through the login manager. A machine without a backlit
// keyboard answers an empty list, as the class does on a Mac without one.
// Any other framework or class is missing.
class LedKeyboardBrightness final : public sys::CoreBrightness {
 public:
  static constexpr const char* kFramework =
      "/System/Library/PrivateFrameworks/CoreBrightness.framework/CoreBrightness";
  static constexpr const char* kClientClass = "KeyboardBrightnessClient";

  // `setter` must outlive the provider and the clients it makes.
  LedKeyboardBrightness(std::string sysRoot, LoginBrightness& setter)
      : root_(std::move(sysRoot)), setter_(setter) {}

  std::unique_ptr<sys::KeyboardBrightnessClient> makeKeyboardClient(
      std::string_view frameworkPath, std::string_view className) override;

 private:
  std::string root_;
  LoginBrightness& setter_;
};

}  // namespace ebbwise::linux_host

#pragma once

#include <string>

#include "linux/login_brightness.h"
#include "sys/displays.h"

namespace ebbwise::linux_host {

// The display-services brightness entry points for the built-in display
// (`DrmDisplays::kBuiltInDisplay`), served by the panel's backlight: the
// level read from sysfs, set through the login manager. Only the
// framework's two brightness functions exist; any other name is missing, as
// an unknown symbol is. The functions answer 0 on success and the platform's
// failure codes otherwise: an unknown display, no backlight (it may have
// gone), a garbled level, a refused or unanswered setting.
class BacklightDisplayServices final : public sys::DisplayServices {
 public:
  static constexpr const char* kFramework =
      "/System/Library/PrivateFrameworks/DisplayServices.framework/DisplayServices";
  static constexpr int kFailure = 1000;          // kCGErrorFailure
  static constexpr int kIllegalArgument = 1001;  // kCGErrorIllegalArgument

  // `setter` must outlive the provider and the functions it hands out.
  BacklightDisplayServices(std::string sysRoot, LoginBrightness& setter)
      : root_(std::move(sysRoot)), setter_(setter) {}

  sys::BrightnessGetter brightnessGetter(std::string_view frameworkPath,
                                         std::string_view symbol) override;
  sys::BrightnessSetter brightnessSetter(std::string_view frameworkPath,
                                         std::string_view symbol) override;

 private:
  std::string root_;
  LoginBrightness& setter_;
};

}  // namespace ebbwise::linux_host

#include "linux/backlight_display_services.h"

#include "linux/drm_displays.h"

namespace ebbwise::linux_host {

sys::BrightnessGetter BacklightDisplayServices::brightnessGetter(std::string_view frameworkPath,
                                                                 std::string_view symbol) {
  if (frameworkPath != kFramework || symbol != "DisplayServicesGetBrightness") return {};
  return [root = root_](sys::DisplayID display, float& brightness) {
    if (display != DrmDisplays::kBuiltInDisplay) return kIllegalArgument;
    const auto device = BacklightDevice::screen(root);
    if (!device) return kFailure;
    const auto level = device->level();
    if (!level) return kFailure;
    brightness = static_cast<float>(*level);
    return 0;
  };
}

sys::BrightnessSetter BacklightDisplayServices::brightnessSetter(std::string_view frameworkPath,
                                                                 std::string_view symbol) {
  if (frameworkPath != kFramework || symbol != "DisplayServicesSetBrightness") return {};
  return [root = root_, &setter = setter_](sys::DisplayID display, float brightness) {
    if (display != DrmDisplays::kBuiltInDisplay) return kIllegalArgument;
    const auto device = BacklightDevice::screen(root);
    if (!device) return kFailure;
    const auto raw = device->rawFor(brightness);
    if (!raw || !setter.set(*device, *raw)) return kFailure;
    return 0;
  };
}

}  // namespace ebbwise::linux_host

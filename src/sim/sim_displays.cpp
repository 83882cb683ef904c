#include "sim/sim_displays.h"

#include <cmath>

#include "sim/sim_desktop.h"

namespace ebbwise::sim {

std::optional<std::vector<sys::DisplayID>> SimDisplays::activeDisplays(std::uint32_t maxDisplays) {
  auto lock = model_.sync();
  std::vector<sys::DisplayID> out;
  if (hasBuiltIn() && model_.builtInDisplayListed()) out.push_back(kBuiltIn);
  if (model_.externalDisplay()) out.push_back(kExternal);
  if (out.size() > maxDisplays) out.resize(maxDisplays);
  return out;
}

bool SimDisplays::isBuiltin(sys::DisplayID display) {
  return display == kBuiltIn && hasBuiltIn();
}

std::optional<std::vector<sys::DisplayID>> SimDisplays::onlineDisplays(std::uint32_t maxDisplays) {
  // Asleep displays stay online; a panel shut off by its closed lid (with
  // an external display) is not. The machine lists exactly those as active.
  return activeDisplays(maxDisplays);
}

std::optional<std::string> SimDisplays::displayUUID(sys::DisplayID display) {
  auto lock = model_.sync();
  if ((display == kBuiltIn && hasBuiltIn()) || (display == kExternal && model_.externalDisplay())) {
    return SimDesktop::displayUUID(display);
  }
  return std::nullopt;
}

bool SimDisplays::hasBuiltIn() const {
  return model_.scenario().machine.model != MacModel::desktop;
}

bool SimDisplays::isAsleep(sys::DisplayID display) {
  auto lock = model_.sync();
  if (display == kBuiltIn) return !model_.builtInDisplayOn();
  if (display == kExternal) return !model_.awake();
  return false;
}

sys::BrightnessGetter SimDisplayServices::brightnessGetter(std::string_view frameworkPath,
                                                           std::string_view symbol) {
  if (frameworkPath != kFramework || symbol != "DisplayServicesGetBrightness") return {};
  return [&model = model_](sys::DisplayID display, float& brightness) {
    auto lock = model.sync();
    if (display != SimDisplays::kBuiltIn || !model.builtInDisplayListed()) return kIllegalArgument;
    brightness = static_cast<float>(model.brightness());
    return 0;
  };
}

sys::BrightnessSetter SimDisplayServices::brightnessSetter(std::string_view frameworkPath,
                                                           std::string_view symbol) {
  if (frameworkPath != kFramework || symbol != "DisplayServicesSetBrightness") return {};
  return [&model = model_](sys::DisplayID display, float brightness) {
    auto lock = model.sync();
    if (display != SimDisplays::kBuiltIn || !model.builtInDisplayListed() ||
        !std::isfinite(brightness)) {
      return kIllegalArgument;
    }
    if (!model.scenario().machine.platform.brightnessSettable) return kCannotComplete;
    model.setBrightness(brightness);
    return 0;
  };
}

}  // namespace ebbwise::sim

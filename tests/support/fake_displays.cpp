#include "support/fake_displays.h"

namespace ebbwise::test {

const FakeDisplays::Display* FakeDisplays::find(sys::DisplayID id) const {
  for (const auto& display : displays) {
    if (display.id == id) return &display;
  }
  return nullptr;
}

std::optional<std::vector<sys::DisplayID>> FakeDisplays::activeDisplays(std::uint32_t maxDisplays) {
  lastMaxDisplays = maxDisplays;
  if (listFails) return std::nullopt;
  std::vector<sys::DisplayID> ids;
  for (const auto& display : displays) {
    if (ids.size() == maxDisplays) break;
    ids.push_back(display.id);
  }
  return ids;
}

bool FakeDisplays::isBuiltin(sys::DisplayID id) {
  const Display* display = find(id);
  return display && display->builtin;
}

bool FakeDisplays::isAsleep(sys::DisplayID id) {
  const Display* display = find(id);
  return display && display->asleep;
}

sys::BrightnessGetter FakeDisplayServices::brightnessGetter(std::string_view frameworkPath,
                                                            std::string_view symbol) {
  ++lookups;
  if (frameworkMissing || getterMissing || frameworkPath != kPath ||
      symbol != "DisplayServicesGetBrightness") {
    return {};
  }
  return [this](sys::DisplayID display, float& level) {
    if (getResult != 0) return getResult;
    auto it = brightness.find(display);
    if (it == brightness.end()) return -1;
    level = it->second;
    return 0;
  };
}

sys::BrightnessSetter FakeDisplayServices::brightnessSetter(std::string_view frameworkPath,
                                                            std::string_view symbol) {
  ++lookups;
  if (frameworkMissing || setterMissing || frameworkPath != kPath ||
      symbol != "DisplayServicesSetBrightness") {
    return {};
  }
  return [this](sys::DisplayID display, float level) {
    if (setResult != 0) return setResult;
    auto it = brightness.find(display);
    if (it == brightness.end()) return -1;
    it->second = level;
    sets.emplace_back(display, level);
    return 0;
  };
}

}  // namespace ebbwise::test

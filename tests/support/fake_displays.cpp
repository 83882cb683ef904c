#include "support/fake_displays.h"

#include <algorithm>

namespace ebbwise::test {

FakeDisplays::Display* FakeDisplays::find(sys::DisplayID id) {
  const auto it = std::ranges::find(displays, id, &Display::id);
  return it == displays.end() ? nullptr : &*it;
}

std::optional<std::vector<sys::DisplayID>> FakeDisplays::activeDisplays(std::uint32_t maxDisplays) {
  if (listFails) return std::nullopt;
  std::vector<sys::DisplayID> ids;
  for (const auto& display : displays) {
    if (ids.size() < maxDisplays) ids.push_back(display.id);
  }
  return ids;
}

sys::BrightnessGetter FakeDisplays::brightnessGetter(std::string_view frameworkPath,
                                                     std::string_view symbol) {
  if (frameworkMissing || frameworkPath != kPath || symbol != "DisplayServicesGetBrightness") {
    return {};
  }
  return [this](sys::DisplayID id, float& level) {
    if (callResult != 0 || !find(id)) return callResult ? callResult : -1;
    level = find(id)->brightness;
    return 0;
  };
}

sys::BrightnessSetter FakeDisplays::brightnessSetter(std::string_view frameworkPath,
                                                     std::string_view symbol) {
  if (frameworkMissing || frameworkPath != kPath || symbol != "DisplayServicesSetBrightness") {
    return {};
  }
  return [this](sys::DisplayID id, float level) {
    if (callResult != 0 || !find(id)) return callResult ? callResult : -1;
    find(id)->brightness = level;
    return 0;
  };
}

}  // namespace ebbwise::test

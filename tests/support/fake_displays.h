#pragma once

#include <vector>

#include "sys/displays.h"

namespace ebbwise::test {

// The attached displays as Core Graphics sees them, and the display-services
// framework that drives their brightness (it answers only its real path and
// symbol names). It starts with an external display and the built-in panel.
class FakeDisplays final : public sys::Displays, public sys::DisplayServices {
 public:
  static constexpr const char* kPath =
      "/System/Library/PrivateFrameworks/DisplayServices.framework/DisplayServices";

  struct Display {
    sys::DisplayID id = 0;
    bool builtin = false;
    bool asleep = false;
    float brightness = 0;
  };
  std::vector<Display> displays = {{3, false, false, 0.9f}, {1, true, false, 0.6f}};
  bool listFails = false;
  bool frameworkMissing = false;
  int callResult = 0;  // non-zero: the brightness calls fail with it

  std::optional<std::vector<sys::DisplayID>> activeDisplays(std::uint32_t maxDisplays) override;
  bool isBuiltin(sys::DisplayID id) override { return find(id) && find(id)->builtin; }
  bool isAsleep(sys::DisplayID id) override { return find(id) && find(id)->asleep; }
  sys::BrightnessGetter brightnessGetter(std::string_view frameworkPath,
                                         std::string_view symbol) override;
  sys::BrightnessSetter brightnessSetter(std::string_view frameworkPath,
                                         std::string_view symbol) override;

 private:
  Display* find(sys::DisplayID id);
};

}  // namespace ebbwise::test

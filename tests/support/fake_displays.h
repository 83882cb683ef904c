#pragma once

#include <map>
#include <string>
#include <vector>

#include "sys/displays.h"

namespace ebbwise::test {

// Core Graphics' view of the attached displays.
class FakeDisplays final : public sys::Displays {
 public:
  struct Display {
    sys::DisplayID id = 0;
    bool builtin = false;
    bool asleep = false;
  };
  std::vector<Display> displays;
  bool listFails = false;
  std::uint32_t lastMaxDisplays = 0;

  std::optional<std::vector<sys::DisplayID>> activeDisplays(std::uint32_t maxDisplays) override;
  bool isBuiltin(sys::DisplayID display) override;
  bool isAsleep(sys::DisplayID display) override;

 private:
  const Display* find(sys::DisplayID id) const;
};

// The display-services framework: answers only the real path and symbol
// names, and drives one brightness per display.
class FakeDisplayServices final : public sys::DisplayServices {
 public:
  static constexpr const char* kPath =
      "/System/Library/PrivateFrameworks/DisplayServices.framework/DisplayServices";

  bool frameworkMissing = false;
  bool getterMissing = false;
  bool setterMissing = false;
  int getResult = 0;  // non-zero: the call fails
  int setResult = 0;
  std::map<sys::DisplayID, float> brightness;  // only known displays can be read or set

  int lookups = 0;
  std::vector<std::pair<sys::DisplayID, float>> sets;

  sys::BrightnessGetter brightnessGetter(std::string_view frameworkPath,
                                         std::string_view symbol) override;
  sys::BrightnessSetter brightnessSetter(std::string_view frameworkPath,
                                         std::string_view symbol) override;
};

}  // namespace ebbwise::test

#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "sys/core_brightness.h"

namespace ebbwise::test {

// The keyboard-brightness framework. The clients it makes answer from the
// framework's fields, so a test can change the keyboard after a client exists.
class FakeCoreBrightness final : public sys::CoreBrightness {
 public:
  bool loadFails = false;
  std::set<std::string, std::less<>> selectors = {
      "brightnessForKeyboard:", "setBrightness:forKeyboard:", "copyKeyboardBacklightIDs"};
  std::optional<sys::Value> backlightIDs = sys::Value::array({5});
  std::uint64_t keyboard = 5;  // the only id whose level is kept
  float level = 0.4f;
  bool setAnswer = true;  // what setBrightness:forKeyboard: reports

  std::unique_ptr<sys::KeyboardBrightnessClient> makeKeyboardClient(
      std::string_view frameworkPath, std::string_view className) override;
};

}  // namespace ebbwise::test

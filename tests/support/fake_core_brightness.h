#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sys/core_brightness.h"

namespace ebbwise::test {

// The keyboard-brightness framework. Clients it makes share one state, so a
// test can change the keyboard after the client exists.
class FakeCoreBrightness final : public sys::CoreBrightness {
 public:
  struct State {
    std::set<std::string> selectors = {
        "brightnessForKeyboard:", "setBrightness:forKeyboard:", "copyKeyboardBacklightIDs"};
    std::optional<sys::Value> backlightIDs = sys::Value::array({5});
    std::uint64_t keyboard = 5;  // the only id whose level is kept
    float level = 0.4f;
    bool setAnswer = true;  // what setBrightness:forKeyboard: reports
    std::vector<std::pair<float, std::uint64_t>> sets;
    std::vector<std::uint64_t> reads;
  };

  bool loadFails = false;
  int clientsMade = 0;
  std::shared_ptr<State> state = std::make_shared<State>();

  std::unique_ptr<sys::KeyboardBrightnessClient> makeKeyboardClient(
      std::string_view frameworkPath, std::string_view className) override;
};

}  // namespace ebbwise::test

#include "support/fake_core_brightness.h"

namespace ebbwise::test {

namespace {

class Client final : public sys::KeyboardBrightnessClient {
 public:
  explicit Client(std::shared_ptr<FakeCoreBrightness::State> state) : state_(std::move(state)) {}

  bool respondsTo(std::string_view selector) override {
    return state_->selectors.contains(std::string(selector));
  }
  std::optional<sys::Value> copyKeyboardBacklightIDs() override { return state_->backlightIDs; }
  float brightnessForKeyboard(std::uint64_t keyboardID) override {
    state_->reads.push_back(keyboardID);
    return keyboardID == state_->keyboard ? state_->level : 0.0f;
  }
  bool setBrightness(float level, std::uint64_t keyboardID) override {
    state_->sets.emplace_back(level, keyboardID);
    if (keyboardID == state_->keyboard && state_->setAnswer) state_->level = level;
    return state_->setAnswer;
  }

 private:
  std::shared_ptr<FakeCoreBrightness::State> state_;
};

}  // namespace

std::unique_ptr<sys::KeyboardBrightnessClient> FakeCoreBrightness::makeKeyboardClient(
    std::string_view frameworkPath, std::string_view className) {
  ++clientsMade;
  if (loadFails ||
      frameworkPath !=
          "/System/Library/PrivateFrameworks/CoreBrightness.framework/CoreBrightness" ||
      className != "KeyboardBrightnessClient") {
    return nullptr;
  }
  return std::make_unique<Client>(state);
}

}  // namespace ebbwise::test

#include "support/fake_core_brightness.h"

namespace ebbwise::test {

namespace {

class Client final : public sys::KeyboardBrightnessClient {
 public:
  explicit Client(FakeCoreBrightness& framework) : f_(framework) {}

  bool respondsTo(std::string_view selector) override { return f_.selectors.contains(selector); }
  std::optional<sys::Value> copyKeyboardBacklightIDs() override { return f_.backlightIDs; }
  float brightnessForKeyboard(std::uint64_t id) override {
    return id == f_.keyboard ? f_.level : 0.0f;
  }
  bool setBrightness(float level, std::uint64_t id) override {
    if (id == f_.keyboard && f_.setAnswer) f_.level = level;
    return f_.setAnswer;
  }

 private:
  FakeCoreBrightness& f_;
};

}  // namespace

std::unique_ptr<sys::KeyboardBrightnessClient> FakeCoreBrightness::makeKeyboardClient(
    std::string_view frameworkPath, std::string_view className) {
  if (loadFails ||
      frameworkPath !=
          "/System/Library/PrivateFrameworks/CoreBrightness.framework/CoreBrightness" ||
      className != "KeyboardBrightnessClient") {
    return nullptr;
  }
  return std::make_unique<Client>(*this);
}

}  // namespace ebbwise::test

#include "linux/led_keyboard_brightness.h"

#include <cmath>

namespace ebbwise::linux_host {

namespace {

class LedKeyboardClient final : public sys::KeyboardBrightnessClient {
 public:
  LedKeyboardClient(std::string root, LoginBrightness& setter)
      : root_(std::move(root)), setter_(setter) {}

  bool respondsTo(std::string_view selector) override {
    return selector == "brightnessForKeyboard:" || selector == "setBrightness:forKeyboard:" ||
           selector == "copyKeyboardBacklightIDs";
  }

  std::optional<sys::Value> copyKeyboardBacklightIDs() override {
    sys::Value ids = sys::Value::array();
    const auto count = BacklightDevice::keyboards(root_).size();
    for (std::size_t i = 1; i <= count; ++i) ids.push_back(static_cast<std::uint64_t>(i));
    return ids;
  }

  // The method answers a float whatever happens; an unknown keyboard or an
  // unreadable LED reads as no number at all.
  float brightnessForKeyboard(std::uint64_t keyboardID) override {
    const auto device = keyboard(keyboardID);
    const auto level = device ? device->level() : std::nullopt;
    return level ? static_cast<float>(*level) : std::nanf("");
  }

  bool setBrightness(float level, std::uint64_t keyboardID) override {
    const auto device = keyboard(keyboardID);
    if (!device) return false;
    const auto raw = device->rawFor(level);
    return raw && setter_.set(*device, *raw);
  }

 private:
  std::optional<BacklightDevice> keyboard(std::uint64_t id) const {
    auto devices = BacklightDevice::keyboards(root_);
    if (id < 1 || id > devices.size()) return std::nullopt;
    return std::move(devices[id - 1]);
  }

  std::string root_;
  LoginBrightness& setter_;
};

}  // namespace

std::unique_ptr<sys::KeyboardBrightnessClient> LedKeyboardBrightness::makeKeyboardClient(
    std::string_view frameworkPath, std::string_view className) {
  if (frameworkPath != kFramework || className != kClientClass) return nullptr;
  return std::make_unique<LedKeyboardClient>(root_, setter_);
}

}  // namespace ebbwise::linux_host

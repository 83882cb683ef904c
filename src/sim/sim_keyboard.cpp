#include "sim/sim_keyboard.h"

#include <cmath>

namespace ebbwise::sim {

namespace {

class SimKeyboardClient final : public sys::KeyboardBrightnessClient {
 public:
  explicit SimKeyboardClient(MachineModel& model) : model_(model) {}

  bool respondsTo(std::string_view selector) override {
    return selector == "brightnessForKeyboard:" || selector == "setBrightness:forKeyboard:" ||
           selector == "copyKeyboardBacklightIDs";
  }
  std::optional<sys::Value> copyKeyboardBacklightIDs() override {
    return sys::Value::array({SimCoreBrightness::kKeyboardID});
  }
  float brightnessForKeyboard(std::uint64_t keyboardID) override {
    auto lock = model_.sync();
    return keyboardID == SimCoreBrightness::kKeyboardID ? static_cast<float>(model_.keyboardLevel())
                                                        : 0.0f;
  }
  bool setBrightness(float level, std::uint64_t keyboardID) override {
    auto lock = model_.sync();
    if (keyboardID != SimCoreBrightness::kKeyboardID || !std::isfinite(level)) return false;
    model_.setKeyboardLevel(level);
    return true;
  }

 private:
  MachineModel& model_;
};

}  // namespace

std::unique_ptr<sys::KeyboardBrightnessClient> SimCoreBrightness::makeKeyboardClient(
    std::string_view frameworkPath, std::string_view className) {
  if (frameworkPath != kFramework || className != kClass) return nullptr;
  return std::make_unique<SimKeyboardClient>(model_);
}

}  // namespace ebbwise::sim

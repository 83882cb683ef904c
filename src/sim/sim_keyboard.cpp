#include "sim/sim_keyboard.h"

#include <cmath>

namespace ebbwise::sim {

namespace {

class SimKeyboardClient final : public sys::KeyboardBrightnessClient {
 public:
  explicit SimKeyboardClient(MachineModel& model)
      : model_(model),
        listsIDs_(model.scenario().machine.platform.hasKeyboardBacklightIDs(
            model.scenario().machine.chip)) {}

  bool respondsTo(std::string_view selector) override {
    return selector == "brightnessForKeyboard:" || selector == "setBrightness:forKeyboard:" ||
           (selector == "copyKeyboardBacklightIDs" && listsIDs_);
  }
  // Some models' class lacks the selector; there the platform would raise
  // for an unrecognised selector, which is why callers ask first.
  std::optional<sys::Value> copyKeyboardBacklightIDs() override {
    if (!listsIDs_) return std::nullopt;
    // A keyboard without a backlight is not listed at all.
    if (!model_.scenario().machine.platform.keyboardBacklight) return sys::Value::array();
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
  bool listsIDs_;
};

}  // namespace

std::unique_ptr<sys::KeyboardBrightnessClient> SimCoreBrightness::makeKeyboardClient(
    std::string_view frameworkPath, std::string_view className) {
  if (frameworkPath != kFramework || className != kClass) return nullptr;
  return std::make_unique<SimKeyboardClient>(model_);
}

}  // namespace ebbwise::sim

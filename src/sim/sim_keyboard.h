#pragma once

#include "sim/machine_model.h"
#include "sys/core_brightness.h"

namespace ebbwise::sim {

// The keyboard-brightness class of the private framework: one backlight
// (id 1) whose level drives the keyboard light's power. Clients hold the
// machine by reference and must not outlive it.
class SimCoreBrightness final : public sys::CoreBrightness {
 public:
  explicit SimCoreBrightness(MachineModel& model) : model_(model) {}

  std::unique_ptr<sys::KeyboardBrightnessClient> makeKeyboardClient(
      std::string_view frameworkPath, std::string_view className) override;

  static constexpr const char* kFramework =
      "/System/Library/PrivateFrameworks/CoreBrightness.framework/CoreBrightness";
  static constexpr const char* kClass = "KeyboardBrightnessClient";
  static constexpr std::uint64_t kKeyboardID = 1;

 private:
  MachineModel& model_;
};

}  // namespace ebbwise::sim

#pragma once

#include "sim/machine_model.h"
#include "sys/displays.h"

namespace ebbwise::sim {

// The displays: the built-in panel (id 1; asleep with the lid closed or the
// display asleep, and not listed at all in clamshell mode with an external
// display; a desktop has none) and an optional external one (id 2).
class SimDisplays final : public sys::Displays {
 public:
  explicit SimDisplays(MachineModel& model) : model_(model) {}

  std::optional<std::vector<sys::DisplayID>> activeDisplays(std::uint32_t maxDisplays) override;
  bool isBuiltin(sys::DisplayID display) override;
  bool isAsleep(sys::DisplayID display) override;
  std::optional<std::vector<sys::DisplayID>> onlineDisplays(std::uint32_t maxDisplays) override;
  std::optional<std::string> displayUUID(sys::DisplayID display) override;

  static constexpr sys::DisplayID kBuiltIn = 1;
  static constexpr sys::DisplayID kExternal = 2;

 private:
  bool hasBuiltIn() const;
  MachineModel& model_;
};

// The private brightness functions, bound to the machine's built-in screen.
class SimDisplayServices final : public sys::DisplayServices {
 public:
  explicit SimDisplayServices(MachineModel& model) : model_(model) {}

  sys::BrightnessGetter brightnessGetter(std::string_view frameworkPath,
                                         std::string_view symbol) override;
  sys::BrightnessSetter brightnessSetter(std::string_view frameworkPath,
                                         std::string_view symbol) override;

  static constexpr const char* kFramework =
      "/System/Library/PrivateFrameworks/DisplayServices.framework/DisplayServices";
  static constexpr int kIllegalArgument = 1001;  // kCGErrorIllegalArgument
  static constexpr int kCannotComplete = 1004;   // kCGErrorCannotComplete

 private:
  MachineModel& model_;
};

}  // namespace ebbwise::sim

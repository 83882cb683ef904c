#pragma once

// Hardware-state sensors: screen brightness, keyboard light, graphics time per
// process and which processes hold the audio output.

#include <cstdint>
#include <mutex>
#include <optional>

#include "sys/displays.h"

namespace ebbwise {

// The built-in screen's brightness, read and written through the private
// display-services entry points, which are looked up once, on first use.
class Screen {
 public:
  static constexpr const char* kFramework =
      "/System/Library/PrivateFrameworks/DisplayServices.framework/DisplayServices";
  static constexpr std::uint32_t kMaxDisplays = 16;

  Screen(sys::Displays& displays, sys::DisplayServices& services)
      : displays_(displays), services_(services) {}

  // The first active built-in display that is awake; nothing with the lid
  // closed, the screen asleep or the display list unavailable.
  std::optional<sys::DisplayID> builtInDisplay();

  // 0…1; nothing without an awake built-in display or the entry point.
  std::optional<double> builtInBrightness();

  // Sets the level clamped to 0…1 (NaN counts as 0); whether it took.
  bool setBuiltInBrightness(double level);

 private:
  const sys::BrightnessGetter& getter();
  const sys::BrightnessSetter& setter();

  sys::Displays& displays_;
  sys::DisplayServices& services_;
  // A failed lookup is kept too: a missing framework stays missing for the run.
  std::once_flag getterOnce_, setterOnce_;
  sys::BrightnessGetter getter_;
  sys::BrightnessSetter setter_;
};

}  // namespace ebbwise

#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "sys/core_brightness.h"

namespace ebbwise {

// The keyboard backlight level, through the private keyboard-brightness
// client, which is made once, on first use.
class KeyboardLight {
 public:
  static constexpr const char* kFramework =
      "/System/Library/PrivateFrameworks/CoreBrightness.framework/CoreBrightness";
  static constexpr const char* kClientClass = "KeyboardBrightnessClient";

  explicit KeyboardLight(sys::CoreBrightness& coreBrightness) : coreBrightness_(coreBrightness) {}

  // 0…1; nothing without the client, a keyboard or the selector.
  std::optional<double> level();

  // Sets the level clamped to 0…1 (NaN counts as 0); the client's own answer,
  // false when a piece is missing.
  bool setLevel(double level);

 private:
  sys::KeyboardBrightnessClient* client();
  // The first backlit keyboard, asked afresh each time (keyboards come and go).
  std::optional<std::uint64_t> keyboardID(sys::KeyboardBrightnessClient& client);

  sys::CoreBrightness& coreBrightness_;
  // A failed load is kept too: it is not retried during the run.
  std::once_flag clientOnce_;
  std::unique_ptr<sys::KeyboardBrightnessClient> client_;
};

}  // namespace ebbwise

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "sys/value.h"

namespace ebbwise::sys {

// An instance of the private keyboard-brightness class, spoken to through its
// selectors.
class KeyboardBrightnessClient {
 public:
  virtual ~KeyboardBrightnessClient() = default;

  // Whether the object answers `selector` ("brightnessForKeyboard:",
  // "setBrightness:forKeyboard:", "copyKeyboardBacklightIDs").
  virtual bool respondsTo(std::string_view selector) = 0;
  // performSelector "copyKeyboardBacklightIDs": whatever object comes back
  // (normally a list of numbers); nothing when it answers nil.
  virtual std::optional<Value> copyKeyboardBacklightIDs() = 0;
  // "brightnessForKeyboard:": the level, 0…1.
  virtual float brightnessForKeyboard(std::uint64_t keyboardID) = 0;
  // "setBrightness:forKeyboard:": the method's own success flag.
  virtual bool setBrightness(float level, std::uint64_t keyboardID) = 0;
};

// Loading the private framework and making an instance of one of its classes.
class CoreBrightness {
 public:
  virtual ~CoreBrightness() = default;

  // Opens the framework at `frameworkPath`, looks the class `className` up,
  // checks it is an object class and makes one instance; null when any step fails.
  virtual std::unique_ptr<KeyboardBrightnessClient> makeKeyboardClient(
      std::string_view frameworkPath, std::string_view className) = 0;
};

}  // namespace ebbwise::sys

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ebbwise::linux_host {

// A light the kernel lets us dim, from sysfs: a panel's backlight (class
// "backlight") or an LED such as the keyboard's (class "leds"). Every read
// goes to the files afresh, so a device that went away just reads as absent.
struct BacklightDevice {
  std::string subsystem;  // "backlight" or "leds", as the login manager names them
  std::string name;       // the device's folder name
  std::string folder;     // its folder under the sysfs root

  // The screen's backlight: the firmware's interface before the platform
  // driver's before the graphics driver's raw register, then by name;
  // nothing without one that has a usable range.
  static std::optional<BacklightDevice> screen(const std::string& sysRoot);
  // The keyboard's backlights ("…::kbd_backlight"), by name.
  static std::vector<BacklightDevice> keyboards(const std::string& sysRoot);

  std::optional<std::int64_t> maxBrightness() const;
  // The level the driver was last set to.
  std::optional<std::int64_t> brightness() const;
  // brightness over max_brightness, 0…1; nothing when either is unreadable
  // or garbled, or the brightness lies outside the range.
  std::optional<double> level() const;
  // The raw brightness for a level (clamped to 0…1, rounded); nothing
  // without a usable range.
  std::optional<std::uint32_t> rawFor(double level) const;
  // Whether the driver has powered the panel down (bl_power other than 0).
  bool isPoweredDown() const;
  // Writes the raw brightness straight into the device's file, which only
  // works where the user may (root, or a rule that lets the user); whether
  // it took.
  bool writeDirectly(std::uint32_t value) const;
};

}  // namespace ebbwise::linux_host

#pragma once

namespace ebbwise {

// A change of the hardware whose power step is being measured: the screen's
// brightness moved, or the speakers were switched on or off.
struct HardwareChange {
  enum class Kind { brightness, speakers };

  Kind kind = Kind::brightness;
  double from = 0;  // brightness before, 0…1
  double to = 0;    // brightness after
  bool on = false;  // speakers

  static HardwareChange brightness(double from, double to) {
    return {Kind::brightness, from, to, false};
  }
  static HardwareChange speakers(bool on) { return {Kind::speakers, 0, 0, on}; }

  friend bool operator==(const HardwareChange&, const HardwareChange&) = default;
};

}  // namespace ebbwise

#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ebbwise {

// This tick's estimates of what the parts of the machine outside the chip
// draw, from the calibrated models and the device probes. Absent figures
// are parts that were never measured (or, for the charger, not charging).
struct HardwareReading {
  // A device powered from one of the Mac's USB-C ports, under its row name.
  struct USBDevice {
    std::string name;
    double watts = 0;
    friend bool operator==(const USBDevice&, const USBDevice&) = default;
  };

  std::optional<double> screenWatts;
  bool speakersOn = false;
  std::optional<double> speakersWatts;
  std::optional<double> keyboardWatts;
  std::vector<USBDevice> usb;
  std::optional<double> chargingHeatWatts;  // set separately, only while charging

  HardwareReading() = default;
  HardwareReading(std::optional<double> screenWatts, bool speakersOn,
                  std::optional<double> speakersWatts, std::optional<double> keyboardWatts,
                  std::vector<USBDevice> usb)
      : screenWatts(screenWatts),
        speakersOn(speakersOn),
        speakersWatts(speakersWatts),
        keyboardWatts(keyboardWatts),
        usb(std::move(usb)) {}

  friend bool operator==(const HardwareReading&, const HardwareReading&) = default;
};

}  // namespace ebbwise

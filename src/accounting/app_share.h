#pragma once

#include <array>
#include <string>
#include <string_view>

namespace ebbwise {

// One displayed row: an app, or a group that stands for several apps or for a
// part of the machine no app accounts for. Lists identify rows by name.
struct AppShare {
  std::string name;
  double fraction = 0;  // share of the total, 0 to 1

  static constexpr std::string_view otherName = "Other apps";
  static constexpr std::string_view systemName = "System & display";
  static constexpr std::string_view macOSName = "macOS background work";
  static constexpr std::string_view graphicsName = "Drawing the screen";
  static constexpr std::string_view videoName = "Video playback";
  static constexpr std::string_view chipName = "Keeping your Mac running";
  static constexpr std::string_view hardwareName = "Screen, speakers & Wi-Fi";
  static constexpr std::string_view macName = "macOS itself";
  static constexpr std::string_view screenName = "Screen";
  static constexpr std::string_view speakersName = "Speakers";
  static constexpr std::string_view keyboardName = "Keyboard light";
  static constexpr std::string_view chargingHeatName = "Charging heat";
  static constexpr std::string_view otherHardwareName = "Other hardware";
  static constexpr std::string_view screenAndOtherName = "Screen & other hardware";
  static constexpr std::string_view usbUnknownName = "USB-C device";
  static constexpr std::string_view usbChargingSuffix = ", charging";

  // The rows the chip's energy counters produce.
  static constexpr std::array<std::string_view, 5> measuredParts = {
      macOSName, graphicsName, videoName, chipName, hardwareName};
  // The rows of the simplified list, where chip rows merge and hardware splits.
  static constexpr std::array<std::string_view, 7> simpleParts = {
      macName,           screenName,         speakersName,    keyboardName,
      otherHardwareName, screenAndOtherName, chargingHeatName};

  static bool isMeasuredPart(std::string_view name);
  static bool isSimplePart(std::string_view name);
  // A USB-C device's row: "<device>, charging" or the unknown-device name.
  static bool isUSBDevice(std::string_view name);
  // Every row that is not a single app.
  static bool isGroup(std::string_view name);

  bool isSystem() const { return name == systemName; }
  bool isOther() const { return name == otherName; }
  bool isUSBDevice() const { return isUSBDevice(name); }
  bool isMeasuredPart() const { return isMeasuredPart(name); }
  bool isGroup() const { return isGroup(name); }

  friend bool operator==(const AppShare&, const AppShare&) = default;
};

}  // namespace ebbwise

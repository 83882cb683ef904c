#include "app/hardware_split.h"

#include "sensors/browsers/browser.h"
#include "sensors/processes/process_inspector.h"

namespace ebbwise::HardwareSplit {

namespace {

// Below this the charger only tops up; the heat is lost in the noise.
constexpr double kLeastChargingWatts = 0.5;

}  // namespace

double intoBatteryWatts(const Tracker& tracker, bool onAC) {
  if (!onAC) return 0;
  std::optional<double> in = tracker.nowInWatts();
  std::optional<double> used = tracker.nowUsedWatts();
  if (!in || !used) return 0;
  return *in - *used;
}

HardwareReading forTick(HardwareMeasuring& hardware, const Tracker& tracker,
                        std::optional<double> brightness, bool speakersOn,
                        std::optional<double> keyboardLevel, double intoBattery) {
  HardwareReading reading = hardware.reading(brightness, speakersOn, keyboardLevel);
  double known = reading.screenWatts.value_or(0) +
                 (reading.speakersOn ? reading.speakersWatts.value_or(0) : 0) +
                 reading.keyboardWatts.value_or(0);
  for (const auto& device : reading.usb) known += device.watts;
  std::optional<double> offChip = tracker.lastOffChipWatts();
  hardware.scanCharging(tracker.lastChargeWatts(),
                        offChip ? std::optional<double>(*offChip - known) : std::nullopt,
                        brightness);
  const std::optional<double>& fraction = hardware.chargingLoss().fraction;
  if (fraction && intoBattery > kLeastChargingWatts) {
    reading.chargingHeatWatts = *fraction * intoBattery;
  }
  return reading;
}

std::optional<std::string> speakersKeptOnBy(const std::set<std::string>& playingApps) {
  if (playingApps.empty()) return std::nullopt;
  std::string names;
  for (const std::string& app : playingApps) {
    if (!names.empty()) names += ", ";
    const std::string title = ProcessInspector::splitRowName(app).title;
    names += Browser::named(app) ? "a " + title + " tab" : title;
  }
  return names;
}

}  // namespace ebbwise::HardwareSplit

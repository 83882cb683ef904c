#include "app/calibration_outcome.h"

#include <cstdio>

namespace ebbwise {

namespace {

std::string wattsText(double watts) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f W", watts);
  return buffer;
}

std::string percentText(double fraction, const char* format = "%.0f %%") {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, fraction * 100);
  return buffer;
}

std::string label(const std::string& name) {
  return "  " + name + std::string(name.size() < 16 ? 16 - name.size() : 1, ' ');
}

sys::Value orNull(const std::optional<double>& value) {
  return value ? sys::Value(*value) : sys::Value();
}

}  // namespace

CalibrationOutcome CalibrationOutcome::of(const HardwareMeasuring& hardware) {
  CalibrationOutcome outcome;
  outcome.running = hardware.isCalibrating();
  outcome.error = hardware.calibrationError();
  outcome.speakerNote = hardware.speakerNote();
  if (hardware.screen().isMeasured()) outcome.screen = hardware.screen().points;
  outcome.speakersWatts = hardware.speakers().watts;
  outcome.keyboardFullWatts = hardware.keyboard().fullWatts;
  outcome.chargingLossFraction = hardware.chargingLoss().fraction;
  outcome.chargingLossSamples = hardware.chargingLoss().samples;
  return outcome;
}

std::vector<std::string> CalibrationOutcome::lines() const {
  const std::string unmeasured = "not measured";
  std::vector<std::string> out{"Calibration"};
  std::string screenText;
  for (const ScreenModel::Point& p : screen) {
    if (!screenText.empty()) screenText += ", ";
    screenText += wattsText(p.watts) + " at " + percentText(p.brightness);
  }
  out.push_back(label("Screen") +
                (screen.empty() ? unmeasured : screenText + " (above the dimmest)"));
  out.push_back(label("Speakers") + (speakersWatts ? wattsText(*speakersWatts) : unmeasured));
  out.push_back(label("Keyboard light") +
                (keyboardFullWatts ? wattsText(*keyboardFullWatts) + " at full" : unmeasured));
  out.push_back(label("Charging heat") +
                (chargingLossFraction
                     ? percentText(*chargingLossFraction, "%.1f %%") + " of the charging power (" +
                           std::to_string(chargingLossSamples) + " steps)"
                     : "not measured yet (learned while charging)"));
  if (running) out.push_back("  Still measuring at the end of the report.");
  if (error) out.push_back("  " + *error);
  if (speakerNote) out.push_back("  " + *speakerNote);
  return out;
}

sys::Value CalibrationOutcome::json() const {
  sys::Value points = sys::Value::array();
  for (const ScreenModel::Point& p : screen) {
    points.push_back({{"brightness", p.brightness}, {"watts", p.watts}});
  }
  sys::Value out = {{"running", running},
                    {"screen", std::move(points)},
                    {"speakersWatts", orNull(speakersWatts)},
                    {"keyboardFullWatts", orNull(keyboardFullWatts)},
                    {"chargingLossFraction", orNull(chargingLossFraction)},
                    {"chargingLossSamples", chargingLossSamples}};
  out["error"] = error ? sys::Value(*error) : sys::Value();
  out["speakerNote"] = speakerNote ? sys::Value(*speakerNote) : sys::Value();
  return out;
}

}  // namespace ebbwise

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "calibration/hardware_measuring.h"
#include "sys/value.h"

namespace ebbwise {

// What the calibration knows after a run: the models it learned and how its
// last run ended, for the report.
struct CalibrationOutcome {
  bool running = false;  // a run was still under way
  std::optional<std::string> error;
  std::optional<std::string> speakerNote;
  std::vector<ScreenModel::Point> screen;  // empty: not measured
  std::optional<double> speakersWatts;
  std::optional<double> keyboardFullWatts;
  std::optional<double> chargingLossFraction;
  std::int64_t chargingLossSamples = 0;

  static CalibrationOutcome of(const HardwareMeasuring& hardware);

  // "Calibration" and one line per model, then the error or the note.
  std::vector<std::string> lines() const;
  sys::Value json() const;
};

}  // namespace ebbwise

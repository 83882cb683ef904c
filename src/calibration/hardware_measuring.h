#pragma once

#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "accounting/hardware_reading.h"
#include "calibration/calibration_overlay.h"
#include "calibration/charging_loss_model.h"
#include "calibration/hardware_change.h"
#include "calibration/keyboard_model.h"
#include "calibration/screen_model.h"
#include "calibration/speaker_model.h"
#include "calibration/step_measurer.h"
#include "sensors/hardware/keyboard_light.h"
#include "sensors/hardware/screen.h"
#include "sys/async_task.h"
#include "sys/date.h"
#include "sys/platform.h"

namespace ebbwise {

class SMC;
class ChipPowerReader;

// Learns what the screen, the keyboard light and the speakers draw, and how
// much of the charging power turns into heat, and turns what it learned into
// each tick's hardware estimates.
//
// Two ways of learning: a calibration run on request, about a minute that
// steps the brightness, the keyboard light and the speakers and measures the
// power outside the chip at each step, with a message on screen that Esc
// stops; and passive measurement at every tick outside a run, when the user
// changes the brightness or the charging power jumps.
//
// Everything runs on the main loop. The run is a task on that loop that
// suspends only in its half-second sleeps, so the ticks go on meanwhile; it
// reads time only through the platform's clock and sleeps only through its
// run loop, so it runs alike on virtual and real time. State is published as
// read-only members; `changes` goes up whenever any of it changes.
class HardwareMeasuring {
 public:
  // The brightness levels of a run, dim to full.
  static constexpr double levels[] = {0.1, 0.3, 0.55, 0.8, 1.0};
  static constexpr std::size_t levelCount = std::size(levels);
  // The length of a run announced in advance, in seconds.
  static constexpr std::int64_t totalSeconds =
      static_cast<std::int64_t>(levelCount * 6.5 + 12 + 12 + 0.5);
  static constexpr double tickSeconds = 0.5;
  static constexpr std::int64_t stepScans = 2;

  struct ChargingMeasurement {
    double chargeDelta = 0;
    double hardware = 0;
    sys::Date at;
    friend bool operator==(const ChargingMeasurement&, const ChargingMeasurement&) = default;
  };

  // Loads the models from the platform's user-defaults store.
  explicit HardwareMeasuring(const sys::Platform& platform);
  ~HardwareMeasuring();
  HardwareMeasuring(const HardwareMeasuring&) = delete;
  HardwareMeasuring& operator=(const HardwareMeasuring&) = delete;

  // The app that keeps the speakers on, if any; asked before the speakers
  // are measured.
  void setSpeakersInUseBy(std::function<std::optional<std::string>()> source) {
    speakersInUseBy_ = std::move(source);
  }
  // Called after every change of the published state.
  void setObserver(std::function<void()> observer) { observer_ = std::move(observer); }

  // Asks the user to start a run (the panel's explanation card); nothing
  // while a run is under way.
  void requestCalibration();
  // The user said "Not now" to the request.
  void declineCalibration();
  // Starts a run on the main loop and returns at its first sleep (or at once
  // when it cannot start). Nothing but clearing the request while a run is
  // under way.
  void calibrateScreen();
  // Asks the running run to stop at its next half-second tick.
  void requestStop();

  // This tick's estimates from the models; the charger's heat and the USB-C
  // devices are the caller's to fill.
  HardwareReading reading(std::optional<double> brightness, bool speakersOn,
                          std::optional<double> keyboardLevel) const;
  // Passive brightness measurement, every tick.
  void scan(std::optional<double> brightness, bool speakersOn, std::optional<double> offChipWatts);
  // Passive charging-loss measurement, every tick.
  void scanCharging(double chargeWatts, std::optional<double> unexplained,
                    std::optional<double> brightness);

  // Published state.
  const ScreenModel& screen() const { return screen_; }
  const SpeakerModel& speakers() const { return speakers_; }
  const KeyboardModel& keyboard() const { return keyboard_; }
  const ChargingLossModel& chargingLoss() const { return chargingLoss_; }
  const StepMeasurer<double>& chargeSteps() const { return chargeSteps_; }
  std::optional<double> lastCharge() const { return lastCharge_; }
  std::optional<double> chargeBrightness() const { return chargeBrightness_; }
  bool isCalibrating() const { return isCalibrating_; }
  double calibrationProgress() const { return calibrationProgress_; }
  const std::optional<std::string>& calibrationError() const { return calibrationError_; }
  bool isAskingToCalibrate() const { return isAskingToCalibrate_; }
  std::int64_t secondsLeft() const { return secondsLeft_; }
  std::optional<double> restoreBrightness() const { return restoreBrightness_; }
  bool stopRequested() const { return stopRequested_; }
  const StepMeasurer<HardwareChange>& steps() const { return steps_; }
  std::optional<double> lastBrightness() const { return lastBrightness_; }
  std::optional<bool> lastSpeakersOn() const { return lastSpeakersOn_; }
  const std::optional<ChargingMeasurement>& lastChargingMeasurement() const {
    return lastChargingMeasurement_;
  }
  const std::string& phase() const { return phase_; }
  const std::optional<std::string>& speakerNote() const { return speakerNote_; }
  std::uint64_t changes() const { return changes_; }

  // What the overlay shows now.
  sys::CalibrationMessageContent message() const;

 private:
  sys::AsyncTask<void> run();
  // The steps of a run; returns early on an error or a stop.
  sys::AsyncTask<void> measureAll(SMC& smc, ChipPowerReader& chip, double b0);
  sys::AsyncTask<std::optional<double>> measureOffChip(double settle, double seconds, SMC& smc,
                                                       ChipPowerReader& chip);
  // The run's last step, on every way out once it has started.
  void finish(double startBrightness);
  void save();
  void publish();
  double monotonicSeconds() const;

  sys::Platform platform_;
  Screen screenControl_;
  KeyboardLight keyboardLight_;
  CalibrationOverlay overlay_;
  std::function<std::optional<std::string>()> speakersInUseBy_;
  std::function<void()> observer_;
  sys::AsyncTask<void> running_;

  ScreenModel screen_;
  SpeakerModel speakers_;
  KeyboardModel keyboard_;
  ChargingLossModel chargingLoss_;
  StepMeasurer<double> chargeSteps_{stepScans};
  std::optional<double> lastCharge_;
  std::optional<double> chargeBrightness_;
  bool isCalibrating_ = false;
  double calibrationProgress_ = 0;
  std::optional<std::string> calibrationError_;
  bool isAskingToCalibrate_ = false;
  std::int64_t secondsLeft_ = 0;
  std::optional<double> restoreBrightness_;
  bool stopRequested_ = false;
  StepMeasurer<HardwareChange> steps_{stepScans};
  std::optional<double> lastBrightness_;
  std::optional<bool> lastSpeakersOn_;
  std::optional<ChargingMeasurement> lastChargingMeasurement_;
  std::string phase_;
  std::optional<std::string> speakerNote_;
  std::uint64_t changes_ = 0;
};

}  // namespace ebbwise

#include "calibration/hardware_measuring.h"

#include <algorithm>
#include <cmath>

#include "calibration/silent_output.h"
#include "calibration/stored_models.h"
#include "sensors/hardware/audio_playback.h"
#include "sensors/power/chip_power_reader.h"
#include "sensors/power/smc.h"

namespace ebbwise {

namespace {

constexpr const char* kScreenPhase = "Changing the brightness step by step";
constexpr const char* kKeyboardPhase = "Switching the keyboard light off, then to full";
constexpr const char* kSpeakersPhase =
    "Switching the speakers on silently. You won't hear anything";

constexpr const char* kCannotRead = "This Mac's screen or power sensor can't be read.";
constexpr const char* kBrightnessFailed = "Couldn't change the brightness.";
constexpr const char* kSensorStopped = "The power sensor stopped answering.";
constexpr const char* kStopped = "Stopped.";

constexpr const char* kSpeakersHeldBefore = "Your speakers are already on (kept on by ";
constexpr const char* kSpeakersHeldAfter =
    "), so they couldn't be measured. Ebbwise will measure them the next time they turn off.";
constexpr const char* kOtherOutput =
    "Headphones or other speakers are connected, so the Mac's speakers weren't measured.";
constexpr const char* kSpeakersWouldNotStart =
    "The speakers couldn't be switched on for measuring.";
constexpr const char* kSpeakersDisturbed =
    "The speaker measurement was disturbed by other activity. Try again later.";

// A brightness change smaller than this is the sensor's jitter, not the user.
constexpr double kSmallestBrightnessChange = 0.05;
constexpr double kSmallestChargeStep = 5.0;
// A screen that moved this much during a charging step explains the step.
constexpr double kChargeBrightnessTolerance = 0.02;
// A keyboard light or speaker step outside 0…3 W is something else at work.
constexpr double kMostStepWatts = 3.0;

constexpr const char* kSystemPowerKey = "PSTR";

}  // namespace

HardwareMeasuring::HardwareMeasuring(const sys::Platform& platform)
    : platform_(platform),
      screenControl_(platform.displays, platform.displayServices),
      keyboardLight_(platform.coreBrightness),
      overlay_(platform.windows, [this] { requestStop(); }) {
  StoredModels stored = StoredModels::load(platform_.userDefaults);
  screen_ = std::move(stored.screen);
  speakers_ = stored.speakers;
  keyboard_ = stored.keyboard;
  chargingLoss_ = stored.chargingLoss;
}

HardwareMeasuring::~HardwareMeasuring() {
  observer_ = nullptr;
  // Quitting mid-run still gives the screen its brightness back.
  running_.reset();
  if (isCalibrating_) finish(restoreBrightness_.value_or(0));
}

void HardwareMeasuring::requestCalibration() {
  if (isCalibrating_) return;
  calibrationError_.reset();
  speakerNote_.reset();
  isAskingToCalibrate_ = true;
  publish();
}

void HardwareMeasuring::declineCalibration() {
  if (!isAskingToCalibrate_) return;
  isAskingToCalibrate_ = false;
  publish();
}

void HardwareMeasuring::requestStop() {
  if (stopRequested_) return;
  stopRequested_ = true;
  publish();
}

void HardwareMeasuring::calibrateScreen() {
  isAskingToCalibrate_ = false;
  // A run still on its way out (an observer called from its last step) is
  // still running: replacing it would free the frame that is executing.
  if (isCalibrating_ || running_.isRunning()) return publish();
  running_ = run();
  running_.start();
}

sys::AsyncTask<void> HardwareMeasuring::run() {
  const std::optional<double> start = screenControl_.builtInBrightness();
  std::unique_ptr<SMC> smc = SMC::open(platform_.smc);
  std::unique_ptr<ChipPowerReader> chip = ChipPowerReader::create(platform_.ioReport);
  if (!start || !smc || !chip) {
    calibrationError_ = kCannotRead;
    publish();
    co_return;
  }
  const double b0 = *start;
  isCalibrating_ = true;
  stopRequested_ = false;
  calibrationError_.reset();
  speakerNote_.reset();
  calibrationProgress_ = 0;
  restoreBrightness_ = b0;
  secondsLeft_ = totalSeconds;
  overlay_.show(message());
  publish();

  co_await measureAll(*smc, *chip, b0);
  finish(b0);
}

sys::AsyncTask<void> HardwareMeasuring::measureAll(SMC& smc, ChipPowerReader& chip, double b0) {
  const auto n = static_cast<double>(levelCount);

  // Screen.
  phase_ = kScreenPhase;
  publish();
  std::vector<ScreenModel::Sample> samples;
  for (double level : levels) {
    if (!screenControl_.setBuiltInBrightness(level)) {
      calibrationError_ = kBrightnessFailed;
      co_return;
    }
    std::optional<double> watts = co_await measureOffChip(2.5, 4.0, smc, chip);
    if (!watts) co_return;
    samples.push_back({level, *watts});
    calibrationProgress_ = static_cast<double>(samples.size()) / (n + 2);
    publish();
  }
  screen_ = ScreenModel::fromCalibration(std::move(samples));
  save();
  screenControl_.setBuiltInBrightness(b0);

  // Keyboard light, where it can be read at all.
  if (std::optional<double> k0 = keyboardLight_.level()) {
    phase_ = kKeyboardPhase;
    publish();
    keyboardLight_.setLevel(0);
    std::optional<double> off = co_await measureOffChip(1.5, 4.0, smc, chip);
    if (!off) {
      keyboardLight_.setLevel(*k0);
      co_return;
    }
    keyboardLight_.setLevel(1);
    std::optional<double> full = co_await measureOffChip(1.5, 4.0, smc, chip);
    if (!full) {
      keyboardLight_.setLevel(*k0);
      co_return;
    }
    double d = *full - *off;
    if (d >= 0 && d < kMostStepWatts) {
      keyboard_ = KeyboardModel{d};
      save();
    }
    keyboardLight_.setLevel(*k0);
  }

  // Speakers.
  calibrationProgress_ = (n + 1) / (n + 2);
  publish();
  std::optional<std::string> holder = speakersInUseBy_ ? speakersInUseBy_() : std::nullopt;
  if (holder && !holder->empty()) {
    speakerNote_ = kSpeakersHeldBefore + *holder + kSpeakersHeldAfter;
  } else if (!AudioPlayback::outputIsBuiltInSpeakers(platform_.audio)) {
    speakerNote_ = kOtherOutput;
  } else {
    phase_ = kSpeakersPhase;
    publish();
    std::optional<double> off = co_await measureOffChip(1.5, 4.0, smc, chip);
    if (!off) co_return;
    SilentOutput output(platform_.audioEngines);
    if (!output.start()) {
      speakerNote_ = kSpeakersWouldNotStart;
      co_return;
    }
    std::optional<double> on = co_await measureOffChip(2.0, 4.0, smc, chip);
    output.stop();
    if (!on) co_return;
    double d = *on - *off;
    if (d >= 0 && d < kMostStepWatts) {
      speakers_ = SpeakerModel{d, 1};
      save();
    } else {
      speakerNote_ = kSpeakersDisturbed;
    }
  }
  calibrationProgress_ = 1;
  publish();
}

sys::AsyncTask<std::optional<double>> HardwareMeasuring::measureOffChip(double settle,
                                                                        double seconds, SMC& smc,
                                                                        ChipPowerReader& chip) {
  const auto ticks = static_cast<std::int64_t>((settle + seconds) * 2);
  const auto settleTicks = static_cast<std::int64_t>(settle * 2);
  double sum = 0;
  std::int64_t count = 0;
  double windowStart = 0;
  for (std::int64_t i = 0; i < ticks; ++i) {
    if (stopRequested_) {
      calibrationError_ = kStopped;
      publish();
      co_return std::nullopt;
    }
    if (i == settleTicks) {
      // Starts the chip's energy interval together with the window.
      chip.read();
      windowStart = monotonicSeconds();
    }
    if (i >= settleTicks) {
      if (std::optional<double> watts = smc.readFloat(kSystemPowerKey)) {
        sum += *watts;
        ++count;
      }
    }
    co_await sys::sleepFor(platform_.runLoop, tickSeconds);
    if (i % 2 == 1) {
      secondsLeft_ = std::max<std::int64_t>(secondsLeft_ - 1, 0);
      publish();
    }
  }
  if (count > 0) {
    if (std::optional<ChipEnergy> energy = chip.read()) {
      double elapsed = monotonicSeconds() - windowStart;
      // A window of no time cannot give a power; the sensor is no use then.
      if (elapsed > 0) co_return sum / static_cast<double>(count) - energy->total() / elapsed;
    }
  }
  calibrationError_ = kSensorStopped;
  publish();
  co_return std::nullopt;
}

void HardwareMeasuring::finish(double startBrightness) {
  screenControl_.setBuiltInBrightness(startBrightness);
  // The restoration is not the user's change of brightness.
  lastBrightness_ = startBrightness;
  isCalibrating_ = false;
  phase_.clear();
  overlay_.close();
  publish();
}

HardwareReading HardwareMeasuring::reading(std::optional<double> brightness, bool speakersOn,
                                           std::optional<double> keyboardLevel) const {
  HardwareReading r;
  if (screen_.isMeasured()) r.screenWatts = brightness ? screen_.watts(*brightness) : 0.0;
  r.speakersOn = speakersOn;
  r.speakersWatts = speakers_.watts;
  if (keyboardLevel) r.keyboardWatts = keyboard_.watts(*keyboardLevel);
  return r;
}

void HardwareMeasuring::scan(std::optional<double> brightness, bool speakersOn,
                             std::optional<double> offChipWatts) {
  if (isCalibrating_) return;
  if (brightness && std::isfinite(*brightness)) {
    if (lastBrightness_ && std::abs(*brightness - *lastBrightness_) >= kSmallestBrightnessChange) {
      steps_.changed(HardwareChange::brightness(*lastBrightness_, *brightness));
    }
    lastBrightness_ = brightness;
  }
  lastSpeakersOn_ = speakersOn;
  if (!offChipWatts || !std::isfinite(*offChipWatts)) return;
  std::optional<StepMeasurer<HardwareChange>::Measurement> done = steps_.add(*offChipWatts);
  if (!done) return;
  if (done->change.kind == HardwareChange::Kind::brightness) {
    screen_.refine(done->change.from, done->change.to, done->delta);
  }
  save();
  publish();
}

void HardwareMeasuring::scanCharging(double chargeWatts, std::optional<double> unexplained,
                                     std::optional<double> brightness) {
  // A figure that is not finite would stick in `lastCharge` and hide every
  // later step.
  if (isCalibrating_ || !unexplained || !std::isfinite(*unexplained) ||
      !std::isfinite(chargeWatts)) {
    return;
  }
  if (lastCharge_ && std::abs(chargeWatts - *lastCharge_) >= kSmallestChargeStep) {
    chargeSteps_.changed(chargeWatts - *lastCharge_);
    chargeBrightness_ = brightness;
  }
  lastCharge_ = chargeWatts;
  std::optional<StepMeasurer<double>::Measurement> done = chargeSteps_.add(*unexplained);
  if (!done) return;
  if (chargeBrightness_ && brightness &&
      std::abs(*chargeBrightness_ - *brightness) >= kChargeBrightnessTolerance) {
    return;
  }
  chargingLoss_.add(done->delta, done->change);
  lastChargingMeasurement_ = ChargingMeasurement{done->change, done->delta, platform_.clock.now()};
  save();
  publish();
}

sys::CalibrationMessageContent HardwareMeasuring::message() const {
  return {phase_, restoreBrightness_, secondsLeft_, calibrationProgress_};
}

void HardwareMeasuring::save() {
  StoredModels{screen_, speakers_, keyboard_, chargingLoss_}.save(platform_.userDefaults);
}

void HardwareMeasuring::publish() {
  ++changes_;
  if (isCalibrating_) overlay_.update(message());
  if (observer_) observer_();
}

double HardwareMeasuring::monotonicSeconds() const {
  return platform_.clock.timebase().ticksToSeconds(platform_.clock.monotonicTicks());
}

}  // namespace ebbwise

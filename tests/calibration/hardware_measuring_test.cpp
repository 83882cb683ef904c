#include "calibration/hardware_measuring.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "calibration/stored_models.h"
#include "sim/sim_windows.h"
#include "sim/simulation.h"
#include "support/scenario_text.h"

namespace ebbwise {
namespace {

constexpr double kStart = 0.6;
constexpr double kKeyboard = 0.3;

// A quiet machine on battery: a few steady apps and the generated daemons.
// Its sensors do not fail now and then, unless `platform` (the inside of the
// platform setting) says otherwise, so that each case fails for its own reason.
std::string machine(const std::string& platform = "", const std::string& extra = "",
                    const std::string& events = "[]") {
  std::string quirks = R"({"failedSamples": 0)";
  if (platform.find("smcErrors") == std::string::npos) quirks += R"(, "smcErrors": 0)";
  if (!platform.empty()) quirks += ", " + platform;
  return R"({"machine": {"chip": 1, "seed": 11, "brightness": 0.6, "keyboard": 0.3,
             "backgroundDaemons": 60, "platform": )" +
         quirks + "}" + extra + R"(},
    "processes": [
      {"id": "safari", "path": "/Applications/Safari.app/Contents/MacOS/Safari",
       "cpu": 0.5, "gpu": 0.1}],
    "events": )" +
         events + "}";
}

// The models a previous run left.
StoredModels oldModels() {
  StoredModels m;
  m.screen = ScreenModel::fromCalibration({{0.1, 2.0}, {1.0, 9.0}});
  m.speakers = SpeakerModel{0.9, 3};
  m.keyboard = KeyboardModel{1.5};
  return m;
}

struct CalibrationRun {
  explicit CalibrationRun(const std::string& json, bool seed = true) : simulation(scenario(json)) {
    if (seed) oldModels().save(simulation.mac().userDefaults());
    platform.emplace(simulation.platform());
    hardware = std::make_unique<HardwareMeasuring>(*platform);
    hardware->setObserver([this] {
      if (progress.empty() || progress.back() != hardware->calibrationProgress()) {
        progress.push_back(hardware->calibrationProgress());
      }
    });
    ticks = simulation.loop().scheduleRepeating(5.0, 1.0, [this] { ++tickCount; });
  }

  double brightness() {
    return *Screen(platform->displays, platform->displayServices).builtInBrightness();
  }
  std::optional<double> keyboardLevel() { return KeyboardLight(platform->coreBrightness).level(); }
  sim::SimWindows& windows() { return simulation.mac().windows(); }
  // Runs `action` at `seconds` of the run.
  void at(double seconds, std::function<void()> action) {
    simulation.loop().scheduleAfter(seconds, std::move(action));
  }

  sim::Simulation simulation;
  std::optional<sys::Platform> platform;
  std::unique_ptr<HardwareMeasuring> hardware;
  std::vector<double> progress;
  sys::TaskID ticks = 0;
  int tickCount = 0;
};

TEST(HardwareMeasuringTest, ARunLearnsEveryModelInAboutAMinuteWhileTheTicksGoOn) {
  CalibrationRun run(machine());
  HardwareMeasuring& h = *run.hardware;
  h.calibrateScreen();
  EXPECT_TRUE(h.isCalibrating());
  EXPECT_EQ(h.secondsLeft(), 57);
  EXPECT_EQ(h.restoreBrightness(), std::optional<double>(static_cast<float>(kStart)));
  EXPECT_EQ(h.phase(), "Changing the brightness step by step");

  run.simulation.runFor(15);
  EXPECT_EQ(run.brightness(), static_cast<float>(0.55)) << "the third step is under way";
  ASSERT_NE(run.windows().shownPanel(), nullptr);
  EXPECT_EQ(run.windows().shownPanel()->content, h.message()) << "the overlay follows the run";
  EXPECT_GE(run.tickCount, 3) << "the ticks go on during the run";

  run.simulation.runFor(45);
  EXPECT_FALSE(h.isCalibrating());
  EXPECT_EQ(h.calibrationError(), std::nullopt);
  EXPECT_EQ(h.speakerNote(), std::nullopt);
  EXPECT_NEAR(*run.keyboardLevel(), kKeyboard, 1e-6);
  EXPECT_EQ(run.progress,
            (std::vector<double>{0, 1.0 / 7, 2.0 / 7, 3.0 / 7, 4.0 / 7, 5.0 / 7, 6.0 / 7, 1}));
  EXPECT_EQ(h.screen().points.size(), 5u);
  EXPECT_EQ(h.speakers().samples, 1);
  EXPECT_EQ(run.simulation.mac().truePartWatts(sim::Part::speakers), 0)
      << "the silent output is stopped";
}

TEST(HardwareMeasuringTest, FailuresEndTheRunAsTheTableSays) {
  const std::string kStopped = "Stopped.";
  const std::string kHeld =
      "Your speakers are already on (kept on by Music), so they couldn't be measured. Ebbwise "
      "will measure them the next time they turn off.";
  struct Case {
    std::string name;
    std::string json;
    std::function<void(CalibrationRun&)> during;  // what happens while the run goes on
    std::optional<std::string> error;
    std::optional<std::string> note;
    bool newScreen, newKeyboard, newSpeakers;
    bool panelShown = true;
  };
  const std::vector<Case> cases = {
      {"sensor unavailable at start", machine(R"("smcOpenFailures": 1000)"), nullptr,
       "This Mac's screen or power sensor can't be read.", std::nullopt, false, false, false,
       false},
      {"brightness cannot be set", machine(R"("brightnessSettable": false)"), nullptr,
       "Couldn't change the brightness.", std::nullopt, false, false, false},
      {"power sensor stops answering", machine(R"("smcErrors": 1)"), nullptr,
       "The power sensor stopped answering.", std::nullopt, false, false, false},
      {"Esc in the first screen step", machine(),
       [](CalibrationRun& r) { r.at(3, [&r] { EXPECT_FALSE(r.windows().pressKey(53)); }); },
       kStopped, std::nullopt, false, false, false},
      {"Stop during the keyboard step", machine(),
       [](CalibrationRun& r) { r.at(38, [&r] { EXPECT_TRUE(r.windows().clickStop()); }); },
       kStopped, std::nullopt, true, false, false},
      {"speakers held by an app",
       R"({"machine": {"chip": 1, "seed": 11, "backgroundDaemons": 60,
                       "platform": {"failedSamples": 0, "smcErrors": 0}},
           "processes": [{"id": "music", "path": "/System/Applications/Music.app/Contents/MacOS/Music",
                          "cpu": 0.2, "audio": "hold"}]})",
       [](CalibrationRun& r) {
         r.hardware->setSpeakersInUseBy([] { return std::string("Music"); });
       },
       std::nullopt, kHeld, true, true, false},
      {"headphones", machine("", R"(, "output": "headphones")"), nullptr, std::nullopt,
       "Headphones or other speakers are connected, so the Mac's speakers weren't measured.", true,
       true, false},
      {"audio engine will not start", machine(R"("audioEngineStarts": false)"), nullptr,
       std::nullopt, "The speakers couldn't be switched on for measuring.", true, true, false},
      {"disturbed speaker measurement",
       machine("", "", R"([{"at": 52, "type": "usb-attach", "port": 2, "name": "Drive",
                              "watts": 4.5}])"),
       nullptr, std::nullopt,
       "The speaker measurement was disturbed by other activity. Try again later.", true, true,
       false},
      {"no keyboard light", machine(R"("keyboardBacklight": false)"), nullptr, std::nullopt,
       std::nullopt, true, false, true},
      {"a second run while one runs", machine(),
       [](CalibrationRun& r) {
         r.at(10, [&r] {
           r.hardware->requestCalibration();
           EXPECT_FALSE(r.hardware->isAskingToCalibrate()) << "not while a run is under way";
           r.hardware->calibrateScreen();
           EXPECT_TRUE(r.hardware->isCalibrating());
         });
       },
       std::nullopt, std::nullopt, true, true, true},
  };
  const StoredModels old = oldModels();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CalibrationRun run(c.json);
    if (c.during) c.during(run);
    const double before = run.brightness();
    run.hardware->calibrateScreen();
    run.simulation.runFor(90);
    const HardwareMeasuring& h = *run.hardware;
    EXPECT_FALSE(h.isCalibrating());
    EXPECT_EQ(h.calibrationError(), c.error);
    EXPECT_EQ(h.speakerNote(), c.note);
    EXPECT_EQ(h.screen() != old.screen, c.newScreen);
    EXPECT_EQ(h.keyboard() != old.keyboard, c.newKeyboard);
    EXPECT_EQ(h.speakers() != old.speakers, c.newSpeakers);
    EXPECT_EQ(StoredModels::load(run.simulation.mac().userDefaults()),
              (StoredModels{h.screen(), h.speakers(), h.keyboard(), h.chargingLoss()}));
    EXPECT_NEAR(run.brightness(), before, 1e-6) << "the brightness goes back";
    EXPECT_EQ(run.windows().panels().size(), c.panelShown ? 1u : 0u);
    EXPECT_EQ(run.windows().shownPanel(), nullptr) << "the overlay closes";
    EXPECT_EQ(run.windows().keyMonitors(), 0u);
    EXPECT_TRUE(run.windows().deliveredKeys().empty()) << "Esc stays with the overlay";
  }
}

// A machine whose screen was calibrated before, for the passive measurers.
struct Passive {
  Passive() : run(machine(), false) {
    StoredModels m;
    m.screen = ScreenModel::fromCalibration({{0.1, 0}, {0.5, 2.0}, {1.0, 6.0}});
    m.save(run.simulation.mac().userDefaults());
    run.hardware = std::make_unique<HardwareMeasuring>(*run.platform);
  }
  CalibrationRun run;
  HardwareMeasuring& h() { return *run.hardware; }
};

TEST(HardwareMeasuringTest, ABrightnessStepOfAtLeastFivePointsRescalesTheCurveThreeTicksLater) {
  Passive p;
  const ScreenModel before = p.h().screen();
  p.h().scan(0.50, false, 5.0);
  p.h().scan(0.50, false, 5.0);
  p.h().scan(0.53, false, 5.0);  // too small to count
  EXPECT_EQ(p.h().steps().pending(), std::nullopt);
  p.h().scan(0.59, false, 5.3);  // 0.53 → 0.59; this sample straddles the change
  ASSERT_TRUE(p.h().steps().pending());
  p.h().scan(0.59, false, 6.0);
  EXPECT_EQ(p.h().screen(), before);
  p.h().scan(0.59, false, 6.0);
  // Predicted 0.53 → 0.59: 0.48 W; measured 1.0 W: a ratio of 2.08, held to 2.
  EXPECT_EQ(p.h().screen().refinements, 1);
  EXPECT_NEAR(p.h().screen().points.back().watts, 6.0 * 1.25, 1e-9);
  EXPECT_EQ(StoredModels::load(p.run.simulation.mac().userDefaults()).screen, p.h().screen());

  // Two changes on consecutive ticks cancel the first and start nothing.
  p.h().scan(0.30, false, 5.0);
  p.h().scan(0.80, false, 5.0);
  EXPECT_EQ(p.h().steps().pending(), std::nullopt);
}

TEST(HardwareMeasuringTest, ChargingStepsTeachTheLossUnlessTheScreenMovedMeanwhile) {
  Passive p;
  auto feed = [&](double charge, double unexplained, double brightness) {
    p.h().scanCharging(charge, unexplained, brightness);
  };
  feed(30, 2.0, 0.6);
  feed(30, 2.0, 0.6);
  feed(25.1, 2.0, 0.6);  // a 4.9 W step is too small
  EXPECT_EQ(p.h().chargeSteps().pending(), std::nullopt);
  feed(45.1, 2.0, 0.6);  // +20 W
  feed(45.1, 2.4, 0.62);
  feed(45.1, 2.8, 0.62);
  feed(45.1, 2.8, 0.62);
  EXPECT_EQ(p.h().chargingLoss(), ChargingLossModel{}) << "the screen moved the power";

  feed(25.1, 2.8, 0.62);  // −20 W
  feed(25.1, 2.0, 0.62);
  feed(25.1, 2.0, 0.62);
  ASSERT_TRUE(p.h().chargingLoss().fraction);
  EXPECT_NEAR(*p.h().chargingLoss().fraction, 0.04, 1e-9);
  ASSERT_TRUE(p.h().lastChargingMeasurement());
  EXPECT_DOUBLE_EQ(p.h().lastChargingMeasurement()->chargeDelta, -20);
  EXPECT_EQ(StoredModels::load(p.run.simulation.mac().userDefaults()).chargingLoss,
            p.h().chargingLoss());

  // Nothing is learned while a run is under way, and a figure that is not
  // finite is not kept.
  feed(std::nan(""), 2.0, 0.62);
  EXPECT_EQ(p.h().lastCharge(), 25.1);
}

}  // namespace
}  // namespace ebbwise

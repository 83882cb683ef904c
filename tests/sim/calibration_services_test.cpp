// The services a calibration run uses, on the simulated machine: the audio
// engine that holds the output, the overlay's windows and keys, and the
// switches that make a run fail the way a real Mac can.

#include <gtest/gtest.h>

#include <cstring>

#include "calibration/calibration_overlay.h"
#include "machine_fixture.h"
#include "sim/sim_audio_engine.h"
#include "sim/sim_displays.h"
#include "sim/sim_keyboard.h"
#include "sim/sim_windows.h"
#include "sys/platform.h"
#include "sys/virtual_run_loop.h"

namespace ebbwise::sim {
namespace {

using testing::Machine;
using testing::quietScenario;

sys::AudioRenderBlock filling(std::uint8_t byte) {
  return [byte](std::uint32_t, std::span<sys::AudioBuffer> buffers) -> std::int32_t {
    for (auto& b : buffers) std::memset(b.data, byte, b.byteSize);
    return 0;
  };
}

TEST(SimAudioEngineTest, ARunningEngineHoldsTheOutputAndOnlySilenceStaysSilent) {
  struct Case {
    const char* name;
    const char* machine;
    std::uint8_t fill;
    double speakers;  // the speakers' power while the engine runs
  };
  const PartPowers w;
  const Case cases[] = {
      {"silence on the speakers", "", 0, w.speakersHold},
      {"sound on the speakers", "", 0x40, w.speakersHold + w.speakersPlay},
      {"silence on headphones", R"("output": "headphones")", 0, w.headphones},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Machine m(quietScenario(c.machine));
    sys::VirtualRunLoop loop;
    sys::Platform platform = m.mac->platform(loop);
    auto engine = platform.audioEngines.makeEngine();
    ASSERT_TRUE(engine);
    EXPECT_FALSE(engine->start()) << "nothing attached, nothing to run";
    auto format = engine->outputFormat();
    ASSERT_TRUE(format);
    ASSERT_TRUE(engine->attachSource(*format, filling(c.fill)));
    EXPECT_EQ(m.mac->truePartWatts(Part::speakers), 0);
    ASSERT_TRUE(engine->start());
    EXPECT_DOUBLE_EQ(m.mac->truePartWatts(Part::speakers), c.speakers);
    engine->stop();
    EXPECT_EQ(m.mac->truePartWatts(Part::speakers), 0);
    engine->stop();
    ASSERT_TRUE(engine->start());
    engine.reset();
    EXPECT_EQ(m.mac->truePartWatts(Part::speakers), 0) << "a dropped engine lets go";
  }
}

TEST(SimWindowsTest, TheOverlaySitsInTheMiddleAboveEverythingAndKeepsOnlyEsc) {
  Machine m(quietScenario());
  SimWindows& windows = m.mac->windows();
  int stops = 0;
  CalibrationOverlay overlay(windows, [&] { ++stops; });
  overlay.show({"phase", 0.5, 57, 0});
  const SimWindows::Panel* panel = windows.shownPanel();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->options.frame, (sys::ScreenRect{566, 416, 380, 150}));
  EXPECT_EQ(panel->options.level, 1000);
  EXPECT_EQ(panel->options.collectionBehavior, 0x101u);
  EXPECT_TRUE(windows.pressKey(12)) << "other keys reach their window";
  EXPECT_FALSE(windows.pressKey(CalibrationOverlay::kEscapeKeyCode));
  EXPECT_TRUE(windows.clickStop());
  EXPECT_EQ(stops, 2);
  overlay.close();
  overlay.close();
  EXPECT_EQ(windows.shownPanel(), nullptr);
  EXPECT_TRUE(windows.pressKey(CalibrationOverlay::kEscapeKeyCode)) << "closed: Esc is not ours";
  EXPECT_EQ(stops, 2);

  EXPECT_EQ(CalibrationOverlay::frame(std::nullopt), (sys::ScreenRect{-190, -75, 380, 150}))
      << "without a screen the panel sits on the origin";
}

TEST(SimSwitchesTest, BrightnessAndKeyboardLightCanBeOutOfReach) {
  Machine held(quietScenario(R"("platform": {"brightnessSettable": false})"));
  auto set = held.mac->displayServices().brightnessSetter(SimDisplayServices::kFramework,
                                                          "DisplayServicesSetBrightness");
  EXPECT_EQ(set(SimDisplays::kBuiltIn, 0.2f), SimDisplayServices::kCannotComplete);

  Machine unlit(quietScenario(R"("keyboard": 0.5, "platform": {"keyboardBacklight": false})"));
  auto client = unlit.mac->coreBrightness().makeKeyboardClient(SimCoreBrightness::kFramework,
                                                               SimCoreBrightness::kClass);
  ASSERT_TRUE(client);
  EXPECT_EQ(client->copyKeyboardBacklightIDs(), sys::Value::array());
  EXPECT_EQ(unlit.mac->truePartWatts(Part::keyboard), 0);
}

TEST(SimNoiseTest, PowerOffTheChipBurstsNowAndThenButKeepsItsMean) {
  Machine m(quietScenario());
  const PartPowers w;
  double sum = 0, highest = 0;
  int bursts = 0;
  const int slots = 5000;
  for (int i = 0; i < slots; ++i) {
    double board = m.mac->truePartWatts(Part::board);
    sum += board;
    highest = std::max(highest, board);
    if (board > w.board + 1e-9) ++bursts;
    m.advance(MachineModel::kSlotSeconds);
  }
  EXPECT_NEAR(sum / slots, w.board + w.storageBursts, 0.1 * w.storageBursts);
  EXPECT_GT(bursts, slots / 40);
  EXPECT_LT(bursts, slots / 8);
  EXPECT_LT(highest, w.board + 20 * w.storageBursts) << "bursts stay small";
}

}  // namespace
}  // namespace ebbwise::sim

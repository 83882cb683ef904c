// The services a calibration run uses, on the simulated machine: the audio
// engine that holds the output, the overlay's windows and keys, and the
// switches that make a run fail the way a real Mac can.

#include <gtest/gtest.h>

#include <cstring>

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

TEST(SimAudioEngineTest, TheMonitorsOwnProcessShowsAsPlayingWhileItsEngineRuns) {
  Machine m(quietScenario());
  sys::VirtualRunLoop loop;
  sys::Platform platform = m.mac->platform(loop);
  const sys::Pid own = platform.processes.ownPid();
  auto running = [&] {
    // The audio process object of the monitor's pid, with its running flag.
    std::uint32_t size = 0;
    sys::AudioPropertyAddress list{sys::fourCharCode("prs#")};
    platform.audio.propertyDataSize(sys::kAudioObjectSystemObject, list, size);
    std::vector<std::uint8_t> ids(size);
    platform.audio.propertyData(sys::kAudioObjectSystemObject, list, ids, size);
    for (std::size_t i = 0; i + 4 <= size; i += 4) {
      sys::AudioObjectID id;
      std::memcpy(&id, &ids[i], 4);
      sys::Pid pid = 0;
      std::uint32_t n = 4;
      platform.audio.propertyData(id, {sys::fourCharCode("ppid")},
                                  {reinterpret_cast<std::uint8_t*>(&pid), 4}, n);
      if (pid != own) continue;
      std::uint32_t on = 0;
      platform.audio.propertyData(id, {sys::fourCharCode("piro")},
                                  {reinterpret_cast<std::uint8_t*>(&on), 4}, n);
      return on != 0;
    }
    return false;
  };
  auto engine = platform.audioEngines.makeEngine();
  ASSERT_TRUE(engine->attachSource(*engine->outputFormat(), filling(0)));
  ASSERT_TRUE(engine->start());
  EXPECT_TRUE(running());
  engine->stop();
  EXPECT_FALSE(running());
}

TEST(SimWindowsTest, KeysGoToTheMonitorsFirstAndPanelsLeaveWhenOrderedOut) {
  Machine m(quietScenario());
  SimWindows& windows = m.mac->windows();
  EXPECT_EQ(windows.mainScreenFrame(), SimWindows::kBuiltInFrame);
  int stops = 0;
  auto panel = windows.showKeyPanel({}, {"phase", 0.5, 10, 0.2}, [&] { ++stops; });
  auto monitor = windows.addLocalKeyDownMonitor([](std::uint16_t key) { return key == 53; });
  EXPECT_FALSE(windows.pressKey(53));
  EXPECT_TRUE(windows.pressKey(12));
  EXPECT_EQ(windows.deliveredKeys(), std::vector<std::uint16_t>{12});
  EXPECT_TRUE(windows.clickStop());
  EXPECT_EQ(stops, 1);
  panel->setContent({"later", std::nullopt, 3, 0.9});
  EXPECT_EQ(windows.shownPanel()->content.phase, "later");
  panel.reset();
  EXPECT_EQ(windows.shownPanel(), nullptr);
  EXPECT_FALSE(windows.clickStop()) << "no panel, no button";
  windows.removeMonitor(monitor);
  EXPECT_TRUE(windows.pressKey(53));

  Machine clamshell(quietScenario(R"("lid": "closed", "externalDisplay": true)"));
  EXPECT_EQ(clamshell.mac->windows().mainScreenFrame(), SimWindows::kExternalFrame);
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

// The hardware readers against the simulated machine: what a calibration run
// will do (set brightness and keyboard light, look for sound) must reach the
// machine through the platform calls and move its power.
#include <gtest/gtest.h>

#include "sensors/hardware/audio_playback.h"
#include "sensors/hardware/keyboard_light.h"
#include "sensors/hardware/screen.h"
#include "machine_fixture.h"

namespace ebbwise::sim::testing {
namespace {

TEST(ReadersOnMachineTest, BrightnessKeyboardAndSoundFollowTheMachine) {
  Machine m(R"({
    "machine": {"backgroundDaemons": 0, "brightness": 0.6, "keyboard": 0.3},
    "processes": [{"id": "music", "path": "/Applications/Music.app/Contents/MacOS/Music",
                   "audio": "hold", "cpu": 0.5, "fluctuation": 0}],
    "events": [{"at": "20s", "type": "output", "device": "headphones"},
               {"at": "30s", "type": "lid", "open": false}]
  })");
  Screen screen(m.mac->displays(), m.mac->displayServices());
  KeyboardLight keyboard(m.mac->coreBrightness());

  EXPECT_NEAR(screen.builtInBrightness().value_or(-1), 0.6, 1e-6);
  double dim = m.mac->trueSystemWatts();
  ASSERT_TRUE(screen.setBuiltInBrightness(1.7));
  EXPECT_EQ(screen.builtInBrightness(), 1.0);
  EXPECT_GT(m.mac->trueSystemWatts(), dim + 1);
  ASSERT_TRUE(screen.setBuiltInBrightness(-0.2));
  EXPECT_EQ(screen.builtInBrightness(), 0.0);

  EXPECT_NEAR(keyboard.level().value_or(-1), 0.3, 1e-6);
  double before = m.mac->trueSystemWatts();
  ASSERT_TRUE(keyboard.setLevel(1));
  EXPECT_NEAR(keyboard.level().value_or(-1), 1.0, 1e-6);
  EXPECT_GT(m.mac->trueSystemWatts(), before);

  // Holding the output open counts as playing, through the speakers.
  sys::Pid music = m.pidOf("/Applications/Music.app/Contents/MacOS/Music");
  EXPECT_EQ(AudioPlayback::playingPIDs(m.mac->audio(), m.mac->environment()),
            std::set<std::int32_t>{music});
  EXPECT_TRUE(AudioPlayback::outputIsBuiltInSpeakers(m.mac->audio()));
  m.advance(25);
  EXPECT_FALSE(AudioPlayback::outputIsBuiltInSpeakers(m.mac->audio())) << "headphones";

  m.advance(10);  // lid closed: no built-in display to read or set
  EXPECT_EQ(screen.builtInBrightness(), std::nullopt);
  EXPECT_FALSE(screen.setBuiltInBrightness(0.5));
}

}  // namespace
}  // namespace ebbwise::sim::testing

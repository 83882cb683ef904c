// Where a real Mac is awkward, on the simulated one, with the readers that
// must cope: a charger-power key missing on some models, a busy SMC and
// refused opens, idle accelerator clients, a keyboard client without its id
// selector, and headphones that are an output device of their own.

#include <gtest/gtest.h>

#include <string>

#include "accounting/default_readers.h"
#include "machine_fixture.h"
#include "sensors/hardware/audio_playback.h"
#include "sensors/hardware/gpu_usage.h"
#include "sensors/hardware/keyboard_light.h"
#include "sensors/power/smc.h"
#include "sim/simulation.h"

namespace ebbwise::sim {
namespace {

using testing::Machine;
using testing::quietScenario;

std::string platform(const std::string& settings) {
  return "\"platform\": {" + settings + "}";
}

TEST(SMCQuirksTest, TheChargerPowerKeyIsMissingOnSomeModels) {
  struct Case {
    int chip;
    const char* setting;
    bool present;
  };
  for (const Case& c : {Case{1, "", true}, Case{2, "", false}, Case{4, "", true},
                        Case{2, R"(, "chargerPowerKey": true)", true},
                        Case{3, R"(, "chargerPowerKey": false)", false}}) {
    SCOPED_TRACE("chip " + std::to_string(c.chip) + c.setting);
    Machine m(quietScenario("\"chip\": " + std::to_string(c.chip) + ", " +
                            platform(std::string(R"("smcErrors": 0)") + c.setting)));
    auto smc = SMC::open(m.mac->smc());
    ASSERT_TRUE(smc);
    EXPECT_TRUE(smc->readFloat("PSTR"));
    EXPECT_EQ(smc->readFloat("PDTR").has_value(), c.present);
  }
}

// The tracker's system-power reader keeps trying while the SMC refuses to
// open, and measures from the first open on.
TEST(SMCQuirksTest, TheTrackersMeterOpensOnceTheSMCLetsIt) {
  auto parsed = Scenario::parse(
      quietScenario(platform(R"("smcOpenFailures": 3, "smcErrors": 0)"),
                    R"("processes": [{"path": "/bin/w", "cpu": 3, "fluctuation": 0}])"),
      "t");
  ASSERT_TRUE(parsed) << parsed.error;
  Simulation simulation(*parsed.scenario);
  TrackerReaders readers = defaultReaders(simulation.platform());  // the first open
  ASSERT_TRUE(readers.readSystem);
  EXPECT_FALSE(readers.readSystem());  // the second
  EXPECT_FALSE(readers.readSystem());  // the third
  simulation.runFor(5);
  ASSERT_TRUE(readers.readSystem());  // opened: nothing measured yet
  simulation.runFor(10);
  auto energy = readers.readSystem();
  ASSERT_TRUE(energy);
  EXPECT_NEAR(energy->seconds, 10, 1.0);
  EXPECT_NEAR(energy->joules / energy->seconds, simulation.mac().trueSystemWatts(), 0.2);
}

TEST(AcceleratorQuirksTest, IdleClientsCarryNoUsageUntilTheyWork) {
  for (bool idle : {true, false}) {
    SCOPED_TRACE(idle ? "idle clients" : "every client with usage");
    Machine m(
        quietScenario(platform(std::string(R"("idleGPUClients": )") + (idle ? "true" : "false")),
                      R"("processes": [{"id": "app", "path": "/Applications/A.app/Contents/MacOS/A",
                          "cpu": 0.5, "start": 1}],
           "events": [{"at": 30, "type": "load", "process": "app", "gpu": 1}])"));
    auto& registry = m.mac->registry();
    m.advance(20);
    const sys::Pid app = m.pidOf("/Applications/A.app/Contents/MacOS/A");
    auto clientOf = [&] {
      for (auto entry : registry.descendants(registry.matchingServices("IOAccelerator").at(0))) {
        if (registry.property(entry, "IOUserClientCreator") ==
            sys::Value("pid " + std::to_string(app) + ", A")) {
          return entry;
        }
      }
      return sys::RegistryEntry{0};
    };
    const sys::RegistryEntry client = clientOf();
    ASSERT_NE(client, 0u);
    EXPECT_EQ(registry.property(client, "AppUsage").has_value(), !idle);
    EXPECT_EQ(GPUUsage::read(registry).contains(app), !idle);
    m.advance(20);  // drawing on the GPU since 30 s
    EXPECT_TRUE(registry.property(client, "AppUsage"));
    EXPECT_GT(GPUUsage::read(registry)[app], 0u);
  }
}

TEST(KeyboardQuirksTest, SomeModelsLackTheBacklightIDSelector) {
  struct Case {
    int chip;
    const char* setting;
    bool readable;
  };
  for (const Case& c :
       {Case{3, "", true}, Case{4, "", false}, Case{4, R"("keyboardBacklightIDs": true)", true},
        Case{1, R"("keyboardBacklightIDs": false)", false}}) {
    SCOPED_TRACE("chip " + std::to_string(c.chip) + " " + c.setting);
    Machine m(quietScenario("\"chip\": " + std::to_string(c.chip) + ", " + platform(c.setting)));
    KeyboardLight keyboard(m.mac->coreBrightness());
    // The reader asks before performing the selector, and reports nothing
    // rather than guessing an id.
    EXPECT_EQ(keyboard.level().has_value(), c.readable);
    EXPECT_EQ(keyboard.setLevel(0.8), c.readable);
  }
}

// Speakers, headphones in the jack and a Bluetooth headset, on a Mac whose
// headphones are a device of their own and on one whose built-in output has
// a data source: the reader tells the speakers either way.
TEST(AudioQuirksTest, HeadphonesAreToldFromTheSpeakersWithOrWithoutADataSource) {
  for (bool dataSource : {false, true}) {
    SCOPED_TRACE(dataSource ? "one device with a data source" : "a headphones device");
    Machine m(quietScenario(
        platform(std::string(R"("outputDataSource": )") + (dataSource ? "true" : "false")),
        R"("events": [{"at": 10, "type": "output", "device": "headphones"},
                      {"at": 30, "type": "output", "device": "bluetooth"},
                      {"at": 50, "type": "output", "device": "speakers"}])"));
    auto& audio = m.mac->audio();
    for (bool speakers : {true, false, false, true}) {
      EXPECT_EQ(AudioPlayback::outputIsBuiltInSpeakers(audio), speakers) << m.mac->truth().seconds;
      m.advance(20);
    }
  }
}

}  // namespace
}  // namespace ebbwise::sim

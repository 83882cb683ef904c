#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/audio_playback.h"
#include "core/gpu_usage.h"
#include "core/keyboard_light.h"
#include "core/screen.h"
#include "support/fake_audio_system.h"
#include "support/fake_core_brightness.h"
#include "support/fake_displays.h"
#include "sys/in_memory_registry.h"

namespace ebbwise {
namespace {

using sys::Value;

// --- GPU time -------------------------------------------------------------

TEST(GPUUsageTest, PidFromCreator) {
  EXPECT_EQ(GPUUsage::pid("pid 812, WindowServer"), 812);
  EXPECT_EQ(GPUUsage::pid("pid 0812"), 812);
  EXPECT_EQ(GPUUsage::pid("pid 12abc"), 12);
  EXPECT_EQ(GPUUsage::pid("pid 2147483647, x"), 2147483647);
  for (const char* creator :
       {"pid 2147483648, x", "pid 99999999999999999999999, x", "pid , x", "pid abc", "pid -5, x",
        "pid  812", "pid ", "PID 812", "812, WindowServer", ""}) {
    EXPECT_EQ(GPUUsage::pid(creator), std::nullopt) << creator;
  }
}

TEST(GPUUsageTest, GpuTimeAddsOnlyNonNegativeNumbers) {
  const Value list = Value::parse(R"([
      {"accumulatedGPUTime": 100}, {"accumulatedGPUTime": 250.7}, {"accumulatedGPUTime": "5"},
      {"accumulatedGPUTime": -3}, {"accumulatedGPUTime": true}, {"other": 9}, 7, []])");
  EXPECT_EQ(GPUUsage::gpuTime(list), 350u);
  EXPECT_EQ(GPUUsage::gpuTime(Value::object()), 0u);
  const auto max = std::numeric_limits<std::uint64_t>::max();
  EXPECT_EQ(
      GPUUsage::gpuTime(Value::array({{{"accumulatedGPUTime", max}}, {{"accumulatedGPUTime", 2}}})),
      max);
}

TEST(GPUUsageTest, SumsUserClientsPerPidAcrossAccelerators) {
  sys::InMemoryRegistry registry;
  auto usage = [](std::uint64_t ns) { return Value::array({{{"accumulatedGPUTime", ns}}}); };
  auto client = [&](std::string creator, Value appUsage) {
    return Value{{"IOUserClientCreator", std::move(creator)}, {"AppUsage", std::move(appUsage)}};
  };
  const auto gpu0 = registry.add("IOAccelerator", Value::object());
  const auto gpu1 = registry.add("IOAccelerator", Value::object());
  registry.add("IOUserClient", client("pid 812, WindowServer", usage(100)), gpu0);
  const auto device = registry.add("Device", Value::object(), gpu0);
  registry.add("IOUserClient", client("pid 812, WindowServer", usage(250)), device);
  registry.add("IOUserClient", client("pid 44, Safari", usage(7)), gpu1);
  // Entries that do not count.
  registry.add("IOUserClient", client("WindowServer", usage(1000)), gpu1);
  registry.add("IOUserClient", {{"IOUserClientCreator", 812}, {"AppUsage", usage(1000)}}, gpu1);
  registry.add("IOUserClient", client("pid 44, Safari", Value{{"accumulatedGPUTime", 1000}}), gpu1);
  registry.add("IOUserClient", client("pid 44, Safari", Value::array({usage(1000)[0], 5})), gpu1);
  registry.add("IOUserClient", {{"IOUserClientCreator", "pid 44, Safari"}}, gpu1);
  registry.add("IOUserClient", client("pid 9, Elsewhere", usage(1000)));  // not under a GPU

  const std::unordered_map<std::int32_t, std::uint64_t> expected = {{812, 350}, {44, 7}};
  EXPECT_EQ(GPUUsage::read(registry), expected);
  EXPECT_TRUE(GPUUsage::read(*std::make_unique<sys::InMemoryRegistry>()).empty());
}

// --- Screen ---------------------------------------------------------------

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    displays.displays = {{3, false, false}, {1, true, false}};
    services.brightness = {{1, 0.6f}, {3, 0.9f}};
  }
  test::FakeDisplays displays;
  test::FakeDisplayServices services;
  Screen screen{displays, services};
};

TEST_F(ScreenTest, ReadsAndSetsTheBuiltInDisplay) {
  EXPECT_EQ(screen.builtInBrightness(), 0.6f);
  EXPECT_EQ(displays.lastMaxDisplays, 16u);
  struct Case {
    double level;
    float set;
  };
  const Case cases[] = {{0.5, 0.5f}, {1.7, 1.0f}, {-0.2, 0.0f}, {std::nan(""), 0.0f}};
  for (const auto& c : cases) {
    EXPECT_TRUE(screen.setBuiltInBrightness(c.level));
    EXPECT_EQ(services.sets.back(), std::make_pair(sys::DisplayID{1}, c.set)) << c.level;
  }
  EXPECT_EQ(services.brightness[3], 0.9f);  // the external display is untouched
  EXPECT_EQ(services.lookups, 2);           // each entry point looked up once
}

TEST_F(ScreenTest, NoAwakeBuiltInDisplayOrEntryPointMeansNothing) {
  struct Case {
    const char* what;
    void (*arrange)(test::FakeDisplays&, test::FakeDisplayServices&);
  };
  const Case cases[] = {
      {"lid closed",
       [](auto& d, auto&) {
         d.displays = {{3, false, false}};
       }},
      {"asleep", [](auto& d, auto&) { d.displays[1].asleep = true; }},
      {"list fails", [](auto& d, auto&) { d.listFails = true; }},
      {"no framework", [](auto&, auto& s) { s.frameworkMissing = true; }},
      {"calls fail", [](auto&, auto& s) { s.getResult = s.setResult = 5; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::FakeDisplays d;
    d.displays = {{3, false, false}, {1, true, false}};
    test::FakeDisplayServices s;
    s.brightness = {{1, 0.6f}, {3, 0.9f}};
    c.arrange(d, s);
    Screen sc(d, s);
    EXPECT_EQ(sc.builtInBrightness(), std::nullopt);
    EXPECT_FALSE(sc.setBuiltInBrightness(0.5));
    EXPECT_TRUE(s.sets.empty());
  }
}

TEST_F(ScreenTest, AMissingEntryPointIsNotLookedUpAgain) {
  services.getterMissing = true;
  EXPECT_EQ(screen.builtInBrightness(), std::nullopt);
  services.getterMissing = false;
  EXPECT_EQ(screen.builtInBrightness(), std::nullopt);
  EXPECT_EQ(services.lookups, 1);
}

// --- Keyboard light -------------------------------------------------------

TEST(KeyboardLightTest, ReadsAndSetsTheFirstKeyboard) {
  test::FakeCoreBrightness framework;
  framework.state->backlightIDs = Value::array({5, 9});
  KeyboardLight light(framework);
  EXPECT_EQ(light.level(), 0.4f);
  EXPECT_TRUE(light.setLevel(1.3));
  EXPECT_EQ(framework.state->sets.back(), std::make_pair(1.0f, std::uint64_t{5}));
  EXPECT_TRUE(light.setLevel(-1));
  EXPECT_EQ(light.level(), 0.0);
  framework.state->setAnswer = false;
  EXPECT_FALSE(light.setLevel(0.5));
  EXPECT_EQ(framework.clientsMade, 1);
}

TEST(KeyboardLightTest, AnyMissingPieceMeansNothing) {
  using State = test::FakeCoreBrightness::State;
  struct Case {
    const char* what;
    void (*arrange)(test::FakeCoreBrightness&, State&);
  };
  const Case cases[] = {
      {"no framework", [](auto& f, auto&) { f.loadFails = true; }},
      {"no ids", [](auto&, State& s) { s.backlightIDs.reset(); }},
      {"empty ids", [](auto&, State& s) { s.backlightIDs = Value::array(); }},
      {"ids not a list", [](auto&, State& s) { s.backlightIDs = 5; }},
      {"ids not numbers", [](auto&, State& s) { s.backlightIDs = Value::array({"5"}); }},
      {"mixed ids",
       [](auto&, State& s) {
         s.backlightIDs = Value::array({5, "x"});
       }},
      {"negative id", [](auto&, State& s) { s.backlightIDs = Value::array({-5}); }},
      {"no id selector", [](auto&, State& s) { s.selectors.erase("copyKeyboardBacklightIDs"); }},
      {"no get or set",
       [](auto&, State& s) {
         s.selectors.erase("brightnessForKeyboard:");
         s.selectors.erase("setBrightness:forKeyboard:");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::FakeCoreBrightness framework;
    c.arrange(framework, *framework.state);
    KeyboardLight light(framework);
    EXPECT_EQ(light.level(), std::nullopt);
    EXPECT_FALSE(light.setLevel(0.5));
    EXPECT_TRUE(framework.state->sets.empty());
    EXPECT_LE(framework.clientsMade, 1);
  }
}

// --- Audio ------------------------------------------------------------------

TEST(AudioPlaybackTest, PlayingPIDs) {
  using Audio = test::FakeAudioSystem;
  struct Case {
    const char* what;
    sys::OSVersion os;
    void (*arrange)(Audio&);
    std::set<std::int32_t> expected;
  };
  constexpr auto piro = AudioPlayback::kProcessIsRunningOutput;
  constexpr auto list = AudioPlayback::kProcessObjectList;
  const Case cases[] = {
      {"running only", {15, 1, 0}, [](Audio&) {}, {501, 733}},
      {"14.2 has them", {14, 2, 0}, [](Audio&) {}, {501, 733}},
      {"14.1 does not", {14, 1, 0}, [](Audio&) {}, {}},
      {"list fails", {15, 0, 0}, [](Audio& a) { a.setError(1, list, 1852797029); }, {}},
      {"list empty", {15, 0, 0}, [](Audio& a) { a.setObjects(1, list, {}); }, {}},
      {"garbled size", {15, 0, 0}, [](Audio& a) { a.overrideSize(1, list, 0xFFFFFFF0u); }, {}},
      {"short list",
       {15, 0, 0},
       [](Audio& a) {
         a.setBytes(1, list, {40, 0, 0, 0, 41, 0});
       },
       {501}},
      {"piro fails", {15, 0, 0}, [](Audio& a) { a.setError(40, piro, 1); }, {733}},
      {"piro short",
       {15, 0, 0},
       [](Audio& a) {
         a.setBytes(40, piro, {1, 0});
       },
       {733}},
      {"ppid fails",
       {15, 0, 0},
       [](Audio& a) { a.setError(40, AudioPlayback::kProcessPID, 1); },
       {733}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Audio audio;
    audio.addProcess(40, 501, true);
    audio.addProcess(41, 600, false);
    audio.addProcess(42, 733, true);
    audio.addProcess(43, 0, true);  // not a real process
    audio.addProcess(44, -1, true);
    c.arrange(audio);
    test::OSVersionEnvironment environment(c.os);
    EXPECT_EQ(AudioPlayback::playingPIDs(audio, environment), c.expected);
  }
}

TEST(AudioPlaybackTest, OutputIsBuiltInSpeakers) {
  using Audio = test::FakeAudioSystem;
  const auto builtIn = AudioPlayback::kTransportBuiltIn;
  struct Case {
    const char* what;
    void (*arrange)(Audio&);
    bool expected;
  };
  const Case cases[] = {
      {"speakers", [](Audio& a) { a.setOutput(73, builtIn, AudioPlayback::kInternalSpeaker); },
       true},
      {"headphones in the jack",
       [](Audio& a) { a.setOutput(73, builtIn, sys::fourCharCode("hdpn")); }, false},
      {"no data source", [](Audio& a) { a.setOutput(73, builtIn, std::nullopt); }, true},
      {"usb device",
       [](Audio& a) {
         a.setOutput(73, sys::fourCharCode("usb "), AudioPlayback::kInternalSpeaker);
       },
       false},
      {"no default output", [](Audio&) {}, false},
      {"no transport",
       [](Audio& a) {
         a.setOutput(73, builtIn, AudioPlayback::kInternalSpeaker);
         a.setError(73, AudioPlayback::kTransportType, 1);
       },
       false},
  };
  for (const auto& c : cases) {
    Audio audio;
    c.arrange(audio);
    EXPECT_EQ(AudioPlayback::outputIsBuiltInSpeakers(audio), c.expected) << c.what;
  }
}

TEST(AudioPlaybackTest, Describe) {
  const sys::Date now{1'700'000'000};
  const std::string tail = ", even with no sound. This stops your Mac from sleeping by itself";
  EXPECT_EQ(AudioPlayback::describe(std::nullopt, now), "Keeping the speakers on" + tail);
  EXPECT_EQ(AudioPlayback::describe(now - 30, now), "Keeping the speakers on" + tail);
  EXPECT_EQ(AudioPlayback::describe(now - 60, now), "Keeping the speakers on for 1m" + tail);
  EXPECT_EQ(AudioPlayback::describe(now - 3900, now), "Keeping the speakers on for 1h 05m" + tail);
  EXPECT_EQ(AudioPlayback::describe(now + 120, now), "Keeping the speakers on" + tail);
}

}  // namespace
}  // namespace ebbwise

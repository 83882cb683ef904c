#include <gtest/gtest.h>

#include <cstdint>

#include "sensors/hardware/audio_playback.h"
#include "sensors/hardware/gpu_usage.h"
#include "support/fake_audio_system.h"
#include "support/stub_environment.h"
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

TEST(GPUUsageTest, SumsUserClientsPerPidAcrossAccelerators) {
  sys::InMemoryRegistry registry;
  auto usage = [](Value ns) { return Value::array({{{"accumulatedGPUTime", std::move(ns)}}}); };
  auto client = [&](Value creator, Value appUsage) {
    return Value{{"IOUserClientCreator", std::move(creator)}, {"AppUsage", std::move(appUsage)}};
  };
  const auto gpu0 = registry.add("IOAccelerator", Value::object());
  const auto gpu1 = registry.add("IOAccelerator", Value::object());
  const auto device = registry.add("Device", Value::object(), gpu0);
  registry.add("IOUserClient", client("pid 812, WindowServer", usage(100)), gpu0);
  registry.add("IOUserClient", client("pid 812, WindowServer", usage(250.7)), device);  // 250
  registry.add("IOUserClient", client("pid 44, Safari", usage(7)), gpu1);
  registry.add("IOUserClient", client("pid 5, x", usage(UINT64_MAX)), gpu1);
  registry.add("IOUserClient", client("pid 5, x", usage(2)), gpu1);  // saturates
  // Entries and times that do not count.
  for (Value time : {Value(-3), Value("5"), Value(true)}) {
    registry.add("IOUserClient", client("pid 44, Safari", usage(time)), gpu1);
  }
  registry.add("IOUserClient", client("WindowServer", usage(1000)), gpu1);
  registry.add("IOUserClient", client(812, usage(1000)), gpu1);
  registry.add("IOUserClient", client("pid 44, Safari", Value{{"accumulatedGPUTime", 1000}}), gpu1);
  registry.add("IOUserClient", client("pid 44, Safari", Value::array({usage(1000)[0], 5})), gpu1);
  registry.add("IOUserClient", {{"IOUserClientCreator", "pid 44, Safari"}}, gpu1);
  registry.add("IOUserClient", client("pid 9, Elsewhere", usage(1000)));  // not under a GPU

  const std::unordered_map<std::int32_t, std::uint64_t> expected = {
      {812, 350}, {44, 7}, {5, UINT64_MAX}};
  EXPECT_EQ(GPUUsage::read(registry), expected);
}

// --- Audio ------------------------------------------------------------------

TEST(AudioPlaybackTest, PlayingPIDs) {
  using Audio = test::FakeAudioSystem;
  constexpr auto list = AudioPlayback::kProcessObjectList;
  constexpr auto piro = AudioPlayback::kProcessIsRunningOutput;
  constexpr auto ppid = AudioPlayback::kProcessPID;
  // Process objects exist from macOS 14.2 on; the table runs on 14.`minor`.
  const std::tuple<const char*, int, void (*)(Audio&), std::set<std::int32_t>> cases[] = {
      {"running only", 2, [](Audio&) {}, {501, 733}},
      {"14.1 has no process objects", 1, [](Audio&) {}, {}},
      {"list fails", 2, [](Audio& a) { a.property(1, list).status = 1852797029; }, {}},
      {"garbled size", 2, [](Audio& a) { a.property(1, list).reportedSize = 0xFFFFFFF0u; }, {}},
      {"cut inside an id", 2, [](Audio& a) { a.property(1, list).bytes.resize(5); }, {501}},
      // Every process quit between the size call and the data call.
      {"emptied after the size call",
       2,
       [](Audio& a) {
         a.property(1, list).reportedSize = 20;
         a.property(1, list).bytes.clear();
       },
       {}},
      {"shrunk below one id",
       2,
       [](Audio& a) {
         a.property(1, list).reportedSize = 20;
         a.property(1, list).bytes.resize(3);
       },
       {}},
      {"piro short", 2, [](Audio& a) { a.property(40, piro).bytes.resize(2); }, {733}},
      {"ppid fails", 2, [](Audio& a) { a.property(40, ppid).status = 1; }, {733}},
  };
  for (const auto& [what, minor, arrange, expected] : cases) {
    Audio audio;
    sys::AudioObjectID object = 40;  // 40 to 44; pids 0 and -1 are no real processes
    for (auto [pid, on] :
         {std::pair{501, true}, {600, false}, {733, true}, {0, true}, {-1, true}}) {
      audio.addProcess(object++, pid, on);
    }
    arrange(audio);
    test::StubEnvironment environment;
    environment.version = {14, minor, 0};
    EXPECT_EQ(AudioPlayback::playingPIDs(audio, environment), expected) << what;
  }
}

TEST(AudioPlaybackTest, OutputIsBuiltInSpeakers) {
  using Audio = test::FakeAudioSystem;
  static constexpr auto builtIn = AudioPlayback::kTransportBuiltIn;
  static constexpr auto speaker = AudioPlayback::kInternalSpeaker;
  // A built-in output without a data source whose one output stream (74)
  // ends in `terminal`.
  static constexpr auto withTerminal = [](Audio& a, std::uint32_t terminal) {
    a.setOutput(73, builtIn, std::nullopt);
    a.setUInt32(73, AudioPlayback::kDeviceStreams, 74, sys::kAudioObjectPropertyScopeOutput);
    a.setUInt32(74, AudioPlayback::kStreamTerminalType, terminal);
  };
  const std::tuple<const char*, void (*)(Audio&), bool> cases[] = {
      {"speakers", [](Audio& a) { a.setOutput(73, builtIn, speaker); }, true},
      {"headphones", [](Audio& a) { a.setOutput(73, builtIn, sys::fourCharCode("hdpn")); }, false},
      {"no data source", [](Audio& a) { a.setOutput(73, builtIn, std::nullopt); }, true},
      // Without a data source the output stream's terminal tells headphones,
      // in Core Audio's spelling or the USB audio class numbers.
      {"speaker terminal", [](Audio& a) { withTerminal(a, sys::fourCharCode("spkr")); }, true},
      {"headphone terminal", [](Audio& a) { withTerminal(a, sys::fourCharCode("hdph")); }, false},
      {"usb headphone terminal", [](Audio& a) { withTerminal(a, 0x0302); }, false},
      {"usb headset terminal", [](Audio& a) { withTerminal(a, 0x0402); }, false},
      {"unknown terminal", [](Audio& a) { withTerminal(a, 0); }, true},
      {"usb device", [](Audio& a) { a.setOutput(73, sys::fourCharCode("usb "), speaker); }, false},
      {"no default output", [](Audio&) {}, false},
  };
  for (const auto& [what, arrange, expected] : cases) {
    Audio audio;
    arrange(audio);
    EXPECT_EQ(AudioPlayback::outputIsBuiltInSpeakers(audio), expected) << what;
  }
}

}  // namespace
}  // namespace ebbwise

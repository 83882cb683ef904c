// The registry (battery, GPU clients), displays and brightness, the keyboard
// light and audio.

#include <gtest/gtest.h>

#include <cmath>

#include "machine_fixture.h"
#include "sim/process_table.h"
#include "sys/audio_system.h"

namespace ebbwise::sim {
namespace {

using testing::Machine;
using testing::quietScenario;

TEST(BatteryEntryTest, PublishesTheGaugeInStepsAndItsDevices) {
  Machine m(quietScenario(R"("battery": {"design": 6000, "full": 5000, "percent": 50},
                             "usb": [{"port": 2, "name": "iPhone", "watts": 4.5},
                                     {"port": 3, "name": "Mouse", "watts": 0.8, "key": "Watts"}])",
                          R"("processes": [{"path": "/bin/w", "cpu": 20}])"));
  auto& registry = m.mac->registry();
  ASSERT_EQ(registry.matchingServices("AppleSmartBattery"), std::vector<sys::RegistryEntry>{1});
  auto raw = [&] { return registry.property(1, "AppleRawCurrentCapacity")->get<int>(); };
  const int first = raw();
  EXPECT_NEAR(first, 2500, 1);
  m.advance(19);
  EXPECT_EQ(raw(), first);  // the gauge reports every 20 s
  m.advance(2);
  EXPECT_LT(raw(), first);

  auto b = *registry.properties(1);
  EXPECT_NEAR(b["CurrentCapacity"].get<double>(), 51, 1);  // the system's figure reads a bit high
  // Volts times amps is the battery's power.
  const TruthSnapshot t = m.mac->truth();
  EXPECT_NEAR(b["Voltage"].get<double>() / 1000, t.voltage, 0.001);
  EXPECT_NEAR(b["Voltage"].get<double>() * b["Amperage"].get<double>() / 1e6, t.batteryWatts, 0.02);
  // Powered devices, in milliwatts, under either key.
  auto out = b["PowerOutDetails"];
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0]["PortIndex"], 2);
  EXPECT_EQ(out[0]["FilteredPower"], 4500);
  EXPECT_EQ(out[1]["Watts"], 800);
  EXPECT_FALSE(out[1].contains("FilteredPower"));
  EXPECT_FALSE(registry.property(1, "NoSuchKey"));
  EXPECT_FALSE(registry.properties(999));
}

TEST(GPUClientsTest, TimeFollowsEachProcesssGPUEnergyAndLeavesWithIt) {
  const std::string path =
      "/Applications/F.app/Contents/Frameworks/F Helper (GPU).app/Contents/MacOS/F Helper (GPU)";
  Machine m(quietScenario("", R"("processes": [{"path": ")" + path +
                                  R"(", "gpu": 1.2, "gpuClients": 2, "start": 1, "end": 100},
                                  {"path": "/usr/bin/quiet", "start": 1}])"));
  auto& registry = m.mac->registry();
  const auto accelerators = registry.matchingServices("IOAccelerator");
  ASSERT_EQ(accelerators.size(), 1u);
  m.advance(61);
  const auto clients = registry.descendants(accelerators[0]);
  std::map<std::string, std::uint64_t> time;
  for (auto entry : clients) {
    auto creator = registry.property(entry, "IOUserClientCreator");
    auto usage = registry.property(entry, "AppUsage");
    if (!creator || !usage) continue;
    for (const auto& u : *usage)
      time[creator->get<std::string>()] += u["accumulatedGPUTime"].get<std::uint64_t>();
  }
  // The kernel's command name keeps 16 bytes.
  const std::string creator = "pid " + std::to_string(m.pidOf(path)) + ", F Helper (GPU)";
  ASSERT_TRUE(time.count(creator)) << creator;
  const double gpuJ = m.truthOf(m.mac->truth(), path).gpuJoules;
  EXPECT_NEAR(time[creator] / 1e9, gpuJ / kGpuReferenceWatts, 1e-6);
  EXPECT_GT(gpuJ, 50);
  EXPECT_FALSE(time.count("pid " + std::to_string(m.pidOf("/usr/bin/quiet")) + ", quiet"));

  m.advance(60);  // its two clients go when it ends
  const auto after = registry.descendants(accelerators[0]);
  EXPECT_EQ(after.size() + 2, clients.size());
  for (auto entry : clients)
    EXPECT_EQ(registry.properties(entry).has_value(),
              std::count(after.begin(), after.end(), entry));
}

TEST(DisplaysTest, BrightnessLidAndKeyboardLightDriveTheirPower) {
  Machine m(quietScenario(R"("brightness": 0.5, "keyboard": 0)", R"("events": [
      {"at": 20, "type": "lid", "open": false}, {"at": 30, "type": "external-display", "connected": true}])"));
  auto& services = m.mac->displayServices();
  const char* framework =
      "/System/Library/PrivateFrameworks/DisplayServices.framework/DisplayServices";
  EXPECT_FALSE(services.brightnessGetter(framework, "DisplayServicesGetLinearBrightness"));
  auto get = services.brightnessGetter(framework, "DisplayServicesGetBrightness");
  auto set = services.brightnessSetter(framework, "DisplayServicesSetBrightness");
  ASSERT_TRUE(get && set);
  float level = 0;
  m.advance(10);
  ASSERT_EQ(set(1, 1.7f), 0);  // clamped
  EXPECT_EQ(get(1, level), 0);
  EXPECT_FLOAT_EQ(level, 1.0f);
  EXPECT_NE(set(2, 0.5f), 0);
  EXPECT_NE(set(1, std::nanf("")), 0);
  EXPECT_NE(get(7, level), 0);

  auto keyboard = m.mac->coreBrightness().makeKeyboardClient(
      "/System/Library/PrivateFrameworks/CoreBrightness.framework/CoreBrightness",
      "KeyboardBrightnessClient");
  ASSERT_TRUE(keyboard);
  const auto id = (*keyboard->copyKeyboardBacklightIDs())[0].get<std::uint64_t>();
  EXPECT_TRUE(keyboard->setBrightness(0.8f, id));
  EXPECT_FALSE(keyboard->setBrightness(0.5f, id + 1));
  EXPECT_FALSE(keyboard->setBrightness(std::nanf(""), id));

  // Lid closed at 20 s with no external display: panel and keyboard go dark.
  m.advance(20);
  auto& d = m.mac->displays();
  EXPECT_TRUE(d.isAsleep(1));
  // 10 s at half brightness, then 10 s at full; the keyboard for those 10 s.
  const TruthSnapshot t = m.mac->truth();
  EXPECT_NEAR(t.part(Part::screen), 10 * (0.45 + 5.15 * std::pow(0.5, 1.9)) + 10 * 5.6, 1e-9);
  EXPECT_NEAR(t.part(Part::keyboard), 10 * 0.55 * std::pow(0.8f, 1.4), 1e-9);
  m.advance(10);  // clamshell with an external display
  EXPECT_EQ(d.activeDisplays(16), std::vector<sys::DisplayID>{2});
  EXPECT_FALSE(d.isBuiltin(2));
}

std::vector<std::uint32_t> words(sys::AudioSystem& audio, sys::AudioObjectID object,
                                 sys::AudioPropertyAddress address) {
  std::uint32_t size = 0, written = 0;
  if (audio.propertyDataSize(object, address, size) != 0) return {};
  std::vector<std::uint32_t> out(size / 4);
  auto bytes = std::span(reinterpret_cast<std::uint8_t*>(out.data()), out.size() * 4);
  if (audio.propertyData(object, address, bytes, written) != 0) return {};
  out.resize(written / 4);
  return out;
}

TEST(AudioTest, ProcessObjectsTheOutputDeviceAndTheSpeakers) {
  Machine m(quietScenario("", R"(
      "processes": [{"id": "music", "path": "/bin/music", "audio": "play", "end": 100},
                    {"id": "call", "path": "/bin/call"}],
      "events": [{"at": 10, "type": "load", "process": "call", "audio": "hold"},
                 {"at": 120, "type": "output", "device": "headphones"},
                 {"at": 130, "type": "output", "device": "bluetooth"}])"));
  auto& audio = m.mac->audio();
  using sys::fourCharCode;
  const sys::AudioPropertyAddress list{fourCharCode("prs#")}, output{fourCharCode("dOut")};
  const sys::AudioPropertyAddress source{fourCharCode("ssrc"),
                                         sys::kAudioObjectPropertyScopeOutput};
  auto objects = words(audio, 1, list);
  ASSERT_EQ(objects.size(), 2u);  // both have audio clients
  auto running = [&](std::uint32_t object) { return words(audio, object, {fourCharCode("piro")}); };
  EXPECT_EQ(static_cast<sys::Pid>(words(audio, objects[0], {fourCharCode("ppid")}).at(0)),
            m.pidOf("/bin/music"));
  EXPECT_EQ(running(objects[1]), std::vector<std::uint32_t>{0});
  m.advance(15);
  EXPECT_EQ(running(objects[1]), std::vector<std::uint32_t>{1});  // holding the output, silently
  EXPECT_EQ(words(audio, words(audio, 1, output).at(0), source).at(0), fourCharCode("ispk"));
  m.advance(110);  // headphones in the jack since 120 s
  EXPECT_EQ(words(audio, words(audio, 1, output).at(0), source).at(0), fourCharCode("hdpn"));
  const TruthSnapshot jack = m.mac->truth();
  m.advance(10);  // a Bluetooth headset since 130 s has no built-in source
  EXPECT_TRUE(words(audio, words(audio, 1, output).at(0), source).empty());
  // Playing and held through the speakers, held alone once the music ends,
  // then the jack, then nothing on the machine's side.
  EXPECT_NEAR(jack.part(Part::speakers), 0.70 * 100 + 0.32 * 20 + 0.04 * 5, 1e-9);
  EXPECT_NEAR(interval(jack, m.mac->truth()).part(Part::speakers), 0.04 * 5, 1e-9);

  // Short buffers get whole list items, or a size error for a single value.
  std::uint8_t four[4], two[2];
  std::uint32_t written = 0;
  EXPECT_EQ(audio.propertyData(1, list, four, written), 0);
  EXPECT_EQ(written, 4u);
  EXPECT_NE(audio.propertyData(1, output, two, written), 0);
  EXPECT_NE(audio.propertyDataSize(12345, list, written), 0);
  EXPECT_NE(audio.propertyDataSize(1, {fourCharCode("zzzz")}, written), 0);
  // Older systems have no process objects.
  Machine older(quietScenario(R"("os": "14.1")"));
  EXPECT_NE(older.mac->audio().propertyDataSize(1, list, written), 0);
}

}  // namespace
}  // namespace ebbwise::sim

// The registry (battery, GPU clients, USB-C partners), displays and
// brightness, the keyboard light, audio and the user's surroundings.

#include <gtest/gtest.h>

#include <cmath>

#include "machine_fixture.h"
#include "sim/process_table.h"

namespace ebbwise::sim {
namespace {

using testing::Machine;
using testing::quietScenario;
using testing::smcFloat;

TEST(BatteryEntryTest, PublishesTheKeysAMacDoes) {
  Machine m(
      quietScenario(R"("battery": {"design": 6000, "full": 5000, "percent": 50, "cycles": 321},
                             "usb": [{"port": 2, "name": "iPhone", "watts": 4.5},
                                     {"port": 3, "name": "Mouse", "watts": 0.8, "key": "Watts"}])",
                    R"("processes": [{"path": "/bin/w", "cpu": 4}])"));
  auto& registry = m.mac->registry();
  ASSERT_EQ(registry.matchingServices("AppleSmartBattery"), std::vector<sys::RegistryEntry>{1});
  m.advance(30);
  auto b = *registry.properties(1);
  EXPECT_EQ(b["MaxCapacity"], 100);
  EXPECT_EQ(b["AppleRawMaxCapacity"], 5000);
  EXPECT_EQ(b["DesignCapacity"], 6000);
  EXPECT_EQ(b["CycleCount"], 321);
  EXPECT_EQ(b["BatteryInstalled"], true);
  EXPECT_EQ(b["ExternalConnected"], false);
  EXPECT_GT(b["NominalChargeCapacity"].get<int>(), 5000 - 100);
  EXPECT_NEAR(b["AppleRawCurrentCapacity"].get<double>(), 2500, 10);
  EXPECT_NEAR(b["CurrentCapacity"].get<double>(), 51, 1);  // the system's figure reads a bit high
  EXPECT_GT(b["Temperature"].get<int>(), 2000);
  EXPECT_LT(b["Temperature"].get<int>(), 4500);
  EXPECT_EQ(b["AvgTimeToEmpty"].get<int>() > 0 && b["AvgTimeToEmpty"].get<int>() < 65535, true);
  EXPECT_FALSE(b.contains("AdapterDetails"));
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
  EXPECT_EQ(registry.property(1, "CycleCount"), sys::Value(321));
  EXPECT_FALSE(registry.property(1, "NoSuchKey"));
  EXPECT_FALSE(registry.properties(999));
}

TEST(BatteryEntryTest, TheGaugeReportsInSteps) {
  Machine m(quietScenario("", R"("processes": [{"path": "/bin/w", "cpu": 20}])"));
  auto raw = [&] {
    return (*m.mac->registry().properties(1))["AppleRawCurrentCapacity"].get<int>();
  };
  const int first = raw();
  m.advance(19);
  EXPECT_EQ(raw(), first);  // no report yet
  m.advance(2);
  EXPECT_LT(raw(), first);
}

TEST(GPUClientsTest, TimeGrowsWithEachProcesssGPUEnergy) {
  Machine m(quietScenario("", R"j("processes": [
      {"path": "/Applications/Figma.app/Contents/Frameworks/Figma Helper (GPU).app/Contents/MacOS/Figma Helper (GPU)",
       "gpu": 1.2, "gpuClients": 2, "start": 1},
      {"path": "/usr/bin/quiet", "start": 1}])j"));
  auto& registry = m.mac->registry();
  auto accelerators = registry.matchingServices("IOAccelerator");
  ASSERT_EQ(accelerators.size(), 1u);
  m.advance(61);
  std::map<std::string, std::uint64_t> time;
  int clients = 0;
  for (auto entry : registry.descendants(accelerators[0])) {
    auto creator = registry.property(entry, "IOUserClientCreator");
    auto usage = registry.property(entry, "AppUsage");
    if (!creator || !usage) continue;
    ++clients;
    for (const auto& u : *usage)
      time[creator->get<std::string>()] += u["accumulatedGPUTime"].get<std::uint64_t>();
  }
  const sys::Pid figma = m.pidOf(
      "/Applications/Figma.app/Contents/Frameworks/Figma Helper (GPU).app/Contents/MacOS/Figma "
      "Helper (GPU)");
  // The kernel's command name keeps 16 bytes.
  const std::string creator = "pid " + std::to_string(figma) + ", Figma Helper (GP";
  ASSERT_TRUE(time.count(creator)) << creator;
  const TruthSnapshot t = m.mac->truth();
  const double gpuJ = m.truthOf(t,
                                "/Applications/Figma.app/Contents/Frameworks/Figma Helper "
                                "(GPU).app/Contents/MacOS/Figma Helper (GPU)")
                          ->gpuJoules;
  EXPECT_NEAR(time[creator] / 1e9, gpuJ / kGpuReferenceWatts, 1e-6);
  EXPECT_GT(gpuJ, 50);
  EXPECT_FALSE(time.count("pid " + std::to_string(m.pidOf("/usr/bin/quiet")) + ", quiet"));
  EXPECT_GE(clients, 4);  // the window server's three, this process's two…
  // The window server does the compositing.
  const sys::Pid ws = m.pidOf(
      "/System/Library/PrivateFrameworks/SkyLight.framework/Versions/A/Resources/WindowServer");
  EXPECT_GT(time["pid " + std::to_string(ws) + ", WindowServer"], 0u);
  // Whole dictionaries agree with single keys.
  auto all = registry.descendants(accelerators[0]);
  EXPECT_EQ(registry.properties(all[0])->contains("AppUsage"), false);  // the kernel's own client
}

TEST(GPUClientsTest, ClientsLeaveWithTheirProcess) {
  Machine m(quietScenario(
      "",
      R"("processes": [{"path": "/Applications/G.app/Contents/MacOS/G", "gpu": 1, "end": 30}])"));
  auto& registry = m.mac->registry();
  const auto before = registry.descendants(2);
  m.advance(60);
  const auto after = registry.descendants(2);
  EXPECT_EQ(after.size() + 1, before.size());
  for (auto entry : before) {
    if (std::find(after.begin(), after.end(), entry) == after.end()) {
      EXPECT_FALSE(registry.properties(entry));
    }
  }
}

TEST(USBCPartnersTest, ChargerAndDevicesHaveVendors) {
  Machine m(quietScenario(R"("charger": {"name": "96W USB-C Power Adapter", "watts": 96, "port": 1},
                             "usb": [{"port": 3, "name": "Drive", "watts": 2, "vendor": 1234}])"));
  auto& registry = m.mac->registry();
  std::map<std::string, std::int64_t> partners;
  for (auto e : registry.matchingServices("IOPortTransportComponentCCUSBPDSOP")) {
    partners[registry.property(e, "Description")->get<std::string>()] =
        registry.property(e, "Vendor ID")->get<std::int64_t>();
  }
  EXPECT_EQ(partners.size(), 2u);
  EXPECT_EQ(partners["Port-USB-C@1/CC/USB-PD/SOP"], 0x05AC);
  EXPECT_EQ(partners["Port-USB-C@3/CC/USB-PD/SOP"], 1234);
}

TEST(DisplaysTest, BuiltInPanelFollowsLidAndSleep) {
  Machine m(quietScenario("", R"("events": [
      {"at": 10, "type": "display", "asleep": true}, {"at": 20, "type": "display", "asleep": false},
      {"at": 30, "type": "lid", "open": false}, {"at": 40, "type": "external-display", "connected": true}])"));
  auto& d = m.mac->displays();
  EXPECT_EQ(d.activeDisplays(16), std::vector<sys::DisplayID>{1});
  EXPECT_TRUE(d.isBuiltin(1));
  EXPECT_FALSE(d.isAsleep(1));
  EXPECT_EQ(d.activeDisplays(0), std::vector<sys::DisplayID>{});
  const double screenOn = m.mac->truth().systemWatts;
  m.advance(15);
  EXPECT_TRUE(d.isAsleep(1));
  EXPECT_LT(m.mac->truth().systemWatts, screenOn - 1);
  m.advance(10);
  EXPECT_FALSE(d.isAsleep(1));
  m.advance(10);  // lid closed, no external display
  EXPECT_TRUE(d.isAsleep(1));
  m.advance(10);  // clamshell with an external display
  EXPECT_EQ(d.activeDisplays(16), std::vector<sys::DisplayID>{2});
  EXPECT_FALSE(d.isBuiltin(2));
  EXPECT_FALSE(d.isAsleep(2));
}

TEST(DisplaysTest, BrightnessFunctionsDriveTheScreen) {
  Machine m(quietScenario(R"("brightness": 0.5)"));
  auto& services = m.mac->displayServices();
  const char* framework =
      "/System/Library/PrivateFrameworks/DisplayServices.framework/DisplayServices";
  EXPECT_FALSE(services.brightnessGetter(framework, "DisplayServicesGetLinearBrightness"));
  EXPECT_FALSE(services.brightnessGetter("/System/Library/Nope", "DisplayServicesGetBrightness"));
  auto get = services.brightnessGetter(framework, "DisplayServicesGetBrightness");
  auto set = services.brightnessSetter(framework, "DisplayServicesSetBrightness");
  ASSERT_TRUE(get && set);
  float level = 0;
  EXPECT_EQ(get(1, level), 0);
  EXPECT_FLOAT_EQ(level, 0.5f);
  const double before = m.mac->truth().part(Part::screen);
  m.advance(10);
  ASSERT_EQ(set(1, 1.7f), 0);  // clamped
  get(1, level);
  EXPECT_FLOAT_EQ(level, 1.0f);
  m.advance(10);
  const TruthSnapshot t = m.mac->truth();
  // 10 s at half brightness, then 10 s at full.
  EXPECT_NEAR(t.part(Part::screen) - before, 10 * (0.45 + 5.15 * std::pow(0.5, 1.9)) + 10 * 5.6,
              1e-9);
  EXPECT_NE(set(2, 0.5f), 0);
  EXPECT_NE(set(1, std::nanf("")), 0);
  EXPECT_NE(get(7, level), 0);
}

TEST(KeyboardLightTest, LevelDrivesItsPower) {
  Machine m(quietScenario(R"("keyboard": 0)"));
  auto& cb = m.mac->coreBrightness();
  const char* framework =
      "/System/Library/PrivateFrameworks/CoreBrightness.framework/CoreBrightness";
  EXPECT_FALSE(cb.makeKeyboardClient(framework, "BrightnessClient"));
  EXPECT_FALSE(cb.makeKeyboardClient("/nope", "KeyboardBrightnessClient"));
  auto client = cb.makeKeyboardClient(framework, "KeyboardBrightnessClient");
  ASSERT_TRUE(client);
  EXPECT_TRUE(client->respondsTo("setBrightness:forKeyboard:"));
  EXPECT_FALSE(client->respondsTo("dance"));
  auto ids = client->copyKeyboardBacklightIDs();
  ASSERT_TRUE(ids && ids->is_array() && !ids->empty());
  const auto id = (*ids)[0].get<std::uint64_t>();
  EXPECT_EQ(client->brightnessForKeyboard(id), 0.0f);
  EXPECT_EQ(m.mac->truth().systemWatts, m.mac->trueSystemWatts());
  const double off = m.mac->trueSystemWatts();
  EXPECT_TRUE(client->setBrightness(0.8f, id));
  EXPECT_FLOAT_EQ(client->brightnessForKeyboard(id), 0.8f);
  EXPECT_NEAR(m.mac->truth().systemWatts - off, 0.55 * std::pow(0.8, 1.4),
              1e-4);  // slot power may move too
  EXPECT_FALSE(client->setBrightness(0.5f, id + 1));
  EXPECT_FALSE(client->setBrightness(std::nanf(""), id));
}

std::vector<std::uint32_t> words(sys::AudioSystem& audio, sys::AudioObjectID object,
                                 sys::AudioPropertyAddress address,
                                 std::int32_t* status = nullptr) {
  std::uint32_t size = 0;
  std::int32_t s = audio.propertyDataSize(object, address, size);
  if (status) *status = s;
  if (s != 0) return {};
  std::vector<std::uint32_t> out(size / 4);
  std::uint32_t written = 0;
  s = audio.propertyData(object, address,
                         std::span(reinterpret_cast<std::uint8_t*>(out.data()), out.size() * 4),
                         written);
  if (status) *status = s;
  out.resize(written / 4);
  return out;
}

TEST(AudioTest, ProcessObjectsAndTheOutputDevice) {
  Machine m(quietScenario("", R"(
      "processes": [{"id": "music", "path": "/Applications/Music.app/Contents/MacOS/Music", "audio": "play"},
                    {"id": "call", "path": "/Applications/Call.app/Contents/MacOS/Call"}],
      "events": [{"at": 10, "type": "load", "process": "call", "audio": "hold"},
                 {"at": 20, "type": "output", "device": "headphones"},
                 {"at": 30, "type": "output", "device": "bluetooth"}])"));
  auto& audio = m.mac->audio();
  using sys::fourCharCode;
  const sys::AudioPropertyAddress list{fourCharCode("prs#")};
  auto objects = words(audio, 1, list);
  ASSERT_EQ(objects.size(), 2u);  // both have audio clients
  auto running = [&](std::uint32_t object) {
    return words(audio, object, {fourCharCode("piro")}).at(0);
  };
  auto pid = [&](std::uint32_t object) {
    return static_cast<sys::Pid>(words(audio, object, {fourCharCode("ppid")}).at(0));
  };
  EXPECT_EQ(pid(objects[0]), m.pidOf("/Applications/Music.app/Contents/MacOS/Music"));
  EXPECT_EQ(running(objects[0]), 1u);
  EXPECT_EQ(running(objects[1]), 0u);
  const double playing = m.mac->truth().part(Part::speakers);
  m.advance(15);
  EXPECT_EQ(running(objects[1]), 1u);  // holding the output open, silently

  auto device = words(audio, 1, {fourCharCode("dOut")}).at(0);
  EXPECT_EQ(words(audio, device, {fourCharCode("tran")}).at(0), fourCharCode("bltn"));
  const sys::AudioPropertyAddress source{fourCharCode("ssrc"),
                                         sys::kAudioObjectPropertyScopeOutput};
  EXPECT_EQ(words(audio, device, source).at(0), fourCharCode("ispk"));
  m.advance(10);  // headphones in the jack
  EXPECT_EQ(words(audio, device, source).at(0), fourCharCode("hdpn"));
  const TruthSnapshot jack = m.mac->truth();
  m.advance(10);  // a Bluetooth headset
  device = words(audio, 1, {fourCharCode("dOut")}).at(0);
  EXPECT_EQ(words(audio, device, {fourCharCode("tran")}).at(0), fourCharCode("blue"));
  std::int32_t status = 0;
  words(audio, device, source, &status);
  EXPECT_NE(status, 0);
  // 5 s of headphones in the jack, then 5 s of nothing through the built-in path.
  const TruthInterval speakers = interval(jack, m.mac->truth());
  EXPECT_NEAR(speakers.part(Part::speakers), 0.04 * 5, 1e-9);
  EXPECT_EQ(playing, 0);  // nothing had accumulated at the start

  // Short buffers: whole list items, or a size error for a single value.
  std::uint8_t four[4];
  std::uint32_t written = 0;
  EXPECT_EQ(audio.propertyData(1, list, four, written), 0);
  EXPECT_EQ(written, 4u);
  std::uint8_t two[2];
  EXPECT_NE(audio.propertyData(1, {fourCharCode("dOut")}, two, written), 0);
  EXPECT_NE(audio.propertyDataSize(12345, list, written), 0);
  EXPECT_NE(audio.propertyDataSize(1, {fourCharCode("zzzz")}, written), 0);
}

TEST(AudioTest, SpeakersDrawWhileTheOutputIsHeld) {
  Machine m(quietScenario(
      "", R"("processes": [{"id": "p", "path": "/bin/p", "audio": "hold", "end": 100}])"));
  m.advance(100);
  EXPECT_NEAR(m.mac->truth().part(Part::speakers), 0.32 * 100, 1e-9);
  m.advance(100);
  EXPECT_NEAR(m.mac->truth().part(Part::speakers), 0.32 * 100, 1e-9);
}

TEST(AudioTest, OlderSystemsHaveNoProcessObjects) {
  Machine m(
      quietScenario(R"("os": "14.1")", R"("processes": [{"path": "/bin/p", "audio": "play"}])"));
  std::uint32_t size = 0;
  EXPECT_NE(m.mac->audio().propertyDataSize(1, {sys::fourCharCode("prs#")}, size), 0);
  EXPECT_EQ(m.mac->environment().osVersion(), (sys::OSVersion{14, 1, 0}));
}

TEST(EnvironmentTest, TheUsersHomeAndFiles) {
  Machine m(quietScenario(
      R"("user": "sam", "files": ["/Applications/Claude.app"], "variables": {"LANG": "en_GB.UTF-8"})",
      R"("processes": [{"path": "/Applications/Foo.app/Contents/MacOS/Foo"}])"));
  auto& env = m.mac->environment();
  EXPECT_EQ(env.homeDirectory(), "/Users/sam");
  EXPECT_EQ(env.applicationSupportDirectory(), "/Users/sam/Library/Application Support");
  EXPECT_EQ(env.cacheDirectory(), "/Users/sam/Library/Caches");
  for (const char* path :
       {"/Applications/Claude.app", "/Applications/Claude.app/", "/Applications/Foo.app",
        "/Applications/Foo.app/Contents/MacOS/Foo", "/Users/sam", "/"}) {
    EXPECT_TRUE(env.fileExists(path)) << path;
  }
  EXPECT_FALSE(env.fileExists("/Applications/Nope.app"));
  EXPECT_FALSE(env.fileExists(""));
  EXPECT_EQ(env.variable("LANG"), "en_GB.UTF-8");
  EXPECT_FALSE(env.variable("EBBWISE_DATA_DIR"));
  m.mac->setVariable("EBBWISE_DATA_DIR", "/tmp/x");
  EXPECT_EQ(env.variable("EBBWISE_DATA_DIR"), "/tmp/x");
  EXPECT_EQ(env.osVersion(), (sys::OSVersion{15, 1, 0}));
}

TEST(PlatformTest, BundlesTheMachinesServices) {
  Machine m(quietScenario());
  struct NoLoop : sys::RunLoop {
    sys::TaskID scheduleRepeating(double, double, sys::Task) override { return 1; }
    sys::TaskID scheduleAfter(double, sys::Task) override { return 1; }
    void cancel(sys::TaskID) override {}
    void post(sys::Task) override {}
    std::unique_ptr<sys::SerialQueue> makeSerialQueue(std::string) override { return nullptr; }
  } loop;
  sys::Platform p = m.mac->platform(loop);
  EXPECT_EQ(&p.clock, static_cast<sys::Clock*>(&m.clock));
  EXPECT_EQ(&p.runLoop, &loop);
  EXPECT_EQ(&p.processes, &m.mac->processes());
  EXPECT_TRUE(p.registry.matchingService("AppleSmartBattery"));
  EXPECT_TRUE(smcFloat(p.smc, "PSTR"));
}

}  // namespace
}  // namespace ebbwise::sim

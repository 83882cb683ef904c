// The battery's registry entry, the GPU's user clients and the screen.

#include <gtest/gtest.h>

#include <cmath>

#include "machine_fixture.h"
#include "sim/battery_pack.h"
#include "sim/process_table.h"

namespace ebbwise::sim {
namespace {

using testing::Machine;
using testing::quietScenario;

TEST(BatteryEntryTest, PublishesTheGaugeInStepsAndItsDevices) {
  Machine m(quietScenario(R"("battery": {"full": 5000, "percent": 50},
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
  // A draining battery's current comes as the two's complement in an
  // unsigned count, as on a Mac; volts times amps is the battery's power, and
  // the voltage sags below the open-circuit one by the current through the
  // pack's resistance.
  auto b = *registry.properties(1);
  const TruthSnapshot t = m.mac->truth();
  ASSERT_TRUE(b["Amperage"].is_number_unsigned());
  ASSERT_EQ(b["InstantAmperage"], b["Amperage"]);
  const auto milliamps = static_cast<std::int64_t>(b["Amperage"].get<std::uint64_t>());
  const double volts = b["Voltage"].get<double>() / 1000;
  ASSERT_LT(t.batteryWatts, -20);
  EXPECT_NEAR(volts * milliamps / 1000, t.batteryWatts, 0.02);
  EXPECT_NEAR(volts, t.voltage + milliamps / 1000.0 * BatteryPack::kResistanceOhms, 0.002);
  EXPECT_LT(volts, t.voltage - 0.1);
  // Powered devices, in milliwatts, under either key.
  EXPECT_EQ(b["PowerOutDetails"][0]["FilteredPower"], 4500);
  EXPECT_EQ(b["PowerOutDetails"][1]["Watts"], 800);
  EXPECT_FALSE(b["PowerOutDetails"][1].contains("FilteredPower"));
  EXPECT_FALSE(registry.property(1, "NoSuchKey"));
  EXPECT_FALSE(registry.properties(999));
}

TEST(GPUClientsTest, TimeFollowsEachProcesssGPUEnergyAndLeavesWithIt) {
  const std::string path = "/Applications/F.app/Contents/MacOS/Figma Helper (GPU)";
  Machine m(quietScenario("", R"("processes": [{"path": ")" + path +
                                  R"(", "gpu": 1.2, "gpuClients": 2, "start": 1, "end": 100}])"));
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
  const std::string creator = "pid " + std::to_string(m.pidOf(path)) + ", Figma Helper (GP";
  ASSERT_TRUE(time.count(creator)) << creator;
  const double gpuJ = m.truthOf(m.mac->truth(), path).gpuJoules;
  EXPECT_NEAR(time[creator] / 1e9, gpuJ / kGpuReferenceWatts, 1e-6);
  EXPECT_GT(gpuJ, 50);

  m.advance(60);  // its two clients go when it ends
  EXPECT_EQ(registry.descendants(accelerators[0]).size() + 2, clients.size());
}

TEST(DisplaysTest, BrightnessAndLidDriveTheScreensPower) {
  Machine m(quietScenario(R"("brightness": 0.5)",
                          R"("events": [{"at": 20, "type": "lid", "open": false}])"));
  auto& services = m.mac->displayServices();
  const char* framework =
      "/System/Library/PrivateFrameworks/DisplayServices.framework/DisplayServices";
  auto get = services.brightnessGetter(framework, "DisplayServicesGetBrightness");
  auto set = services.brightnessSetter(framework, "DisplayServicesSetBrightness");
  ASSERT_TRUE(get && set);
  float level = 0;
  m.advance(10);
  ASSERT_EQ(set(1, 1.7f), 0);  // clamped
  EXPECT_EQ(get(1, level), 0);
  EXPECT_FLOAT_EQ(level, 1.0f);
  EXPECT_NE(set(1, std::nanf("")), 0);
  EXPECT_NE(get(7, level), 0);

  // Lid closed at 20 s with no external display: the panel goes dark.
  m.advance(20);
  EXPECT_TRUE(m.mac->displays().isAsleep(1));
  // 10 s at half brightness, then 10 s at full, then 10 s dark.
  EXPECT_NEAR(m.mac->truth().part(Part::screen), 10 * (0.45 + 5.15 * std::pow(0.5, 1.9)) + 10 * 5.6,
              1e-9);
}

}  // namespace
}  // namespace ebbwise::sim

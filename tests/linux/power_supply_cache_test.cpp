#include "linux/power_supply_cache.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "linux/fixture_tree.h"
#include "linux/power_supply_registry.h"
#include "sys/virtual_run_loop.h"

namespace ebbwise::linux_host {
namespace {

using test::FixtureTree;

// One reading serves the questions of a moment; the next moment reads anew,
// so a battery that goes away is gone by then.
TEST(PowerSupplyCache, OneReadingServesAMomentOnly) {
  FixtureTree machine("sys/energy-laptop");
  sys::VirtualRunLoop loop;
  PowerSupplyCache cache(machine.root(), &loop.clock());
  PowerSupplyRegistry registry(machine.root(), &cache);
  ASSERT_EQ(registry.matchingServices("AppleSmartBattery").size(), 1u);
  auto batteryVolts = [&] {
    for (const PowerSupply& s : cache.readAll()) {
      if (s.name == "BAT0") return s.voltageNow;
    }
    return std::optional<std::int64_t>();
  };
  EXPECT_EQ(batteryVolts(), 12'100'000);

  machine.write("class/power_supply/BAT0/voltage_now", "11000000\n");
  EXPECT_EQ(batteryVolts(), 12'100'000);
  loop.runFor(PowerSupplyCache::kFreshSeconds);
  EXPECT_EQ(batteryVolts(), 11'000'000);

  std::filesystem::remove_all(machine.path("class/power_supply/BAT0"));
  EXPECT_EQ(registry.matchingServices("AppleSmartBattery").size(), 1u);
  loop.runFor(PowerSupplyCache::kFreshSeconds);
  EXPECT_TRUE(registry.matchingServices("AppleSmartBattery").empty());
  EXPECT_FALSE(registry.properties(PowerSupplyRegistry::kBattery));

  // Without a clock nothing is kept.
  PowerSupplyCache uncached(machine.root(), nullptr);
  machine.replaceWith("sys/energy-laptop");
  EXPECT_FALSE(uncached.readAll().empty());
  std::filesystem::remove_all(machine.path("class/power_supply"));
  EXPECT_TRUE(uncached.readAll().empty());
}

}  // namespace
}  // namespace ebbwise::linux_host

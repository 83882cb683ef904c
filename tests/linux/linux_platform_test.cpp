#include "linux/linux_platform.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "linux/fixture_tree.h"
#include "sensors/power/battery_reading.h"
#include "sensors/power/chip_power_reader.h"
#include "sensors/power/smc.h"
#include "sensors/processes/process_scanner.h"
#include "support/stub_environment.h"
#include "sys/virtual_run_loop.h"

namespace ebbwise::linux_host {
namespace {

using test::FixtureTree;

TEST(LinuxPlatform, ServesTheReadersFromTheFoldersItIsGiven) {
  FixtureTree sys("sys/energy-laptop");
  std::filesystem::copy(test::fixturePath("sys/rapl/class/powercap"), sys.path("class/powercap"),
                        std::filesystem::copy_options::recursive);
  FixtureTree proc("proc/laptop");
  FixtureTree settings;
  sys::VirtualRunLoop loop;
  test::StubEnvironment environment;
  LinuxPlatform host(loop.clock(), loop, environment,
                     {.sys = sys.root(), .proc = proc.root(), .settings = settings.root()},
                     Notice{});
  const sys::Platform platform = host.platform();

  EXPECT_TRUE(BatteryReading::read(platform.registry));
  EXPECT_NEAR(*SMC::open(platform.smc)->readFloat("PSTR"), 8.736, 1e-5);
  EXPECT_TRUE(ChipPowerReader::create(platform.ioReport));
  EXPECT_EQ(ProcessScanner::scan(platform.processes).size(), 5u);
  const auto echo = platform.toolRunner.run("/bin/echo", std::vector<std::string>{"hi"});
  ASSERT_TRUE(echo);
  EXPECT_EQ(echo->output, "hi\n");
  platform.userDefaults.setObject("alertWatts", 2.5);
  EXPECT_TRUE(std::filesystem::exists(settings.path("settings.json")));
  // What Linux lacks answers absent.
  EXPECT_EQ(platform.displays.activeDisplays(4), std::vector<sys::DisplayID>{});
}

}  // namespace
}  // namespace ebbwise::linux_host

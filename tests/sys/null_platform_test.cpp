#include "sys/null_platform.h"

#include <gtest/gtest.h>

#include "support/stub_environment.h"
#include "sys/virtual_run_loop.h"

namespace ebbwise::sys {
namespace {

// A platform without sensors answers absent for the services that charging,
// devices and browser tabs read, and a script fails instead of answering
// nothing.
TEST(NullPlatformTest, ChargingDeviceAndScriptServicesAreAbsent) {
  VirtualRunLoop loop;
  test::StubEnvironment environment;
  NullPlatform provider(loop.clock(), loop, environment);
  Platform platform = provider.platform();

  EXPECT_EQ(platform.powerSources.copyInfo(), std::nullopt);
  EXPECT_EQ(platform.powerSources.copyList(PowerSourcesBlob{}), std::nullopt);
  EXPECT_EQ(platform.powerSources.createRunLoopSource(loop, [] {}), nullptr);
  EXPECT_EQ(platform.processInfo.thermalState(), ThermalState::nominal);
  const ScriptResult script = platform.scriptRunner.run("return 1");
  ASSERT_TRUE(script.error);
  EXPECT_EQ(script.error->number, ScriptRunner::kCannotRun);
  const std::vector<std::string> arguments = {"-json", "SPUSBDataType"};
  EXPECT_EQ(platform.toolRunner.run("/usr/sbin/system_profiler", arguments), std::nullopt);
  EXPECT_EQ(loop.pendingEvents(), 0u);
}

}  // namespace
}  // namespace ebbwise::sys

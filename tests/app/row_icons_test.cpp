// Where row icons come from and the hue that colours each row's chart line.

#include <gtest/gtest.h>

#include "app/monitor.h"
#include "sensors/processes/runtime_logo.h"
#include "sim/simulation.h"
#include "support/scenario_text.h"

namespace ebbwise {
namespace {

TEST(RowIconsTest, RuntimeLogosColourDeveloperToolsAndAppIconsTheRest) {
  sim::Simulation simulation(scenario(R"({
    "machine": {"backgroundDaemons": 0, "files": ["/Applications/Claude.app"]},
    "processes": [
      {"id": "editor", "path": "/Applications/Editor.app/Contents/MacOS/Editor", "cpu": 1},
      {"id": "server", "path": "/usr/local/bin/node", "args": ["node", "server.js"],
       "cwd": "/Users/alex/shop", "tty": true, "cpu": 1,
       "env": {"TERM_PROGRAM": "Apple_Terminal"}},
      {"id": "bundler", "path": "/usr/local/bin/bun", "args": ["bun", "build"],
       "cwd": "/Users/alex/site", "tty": true, "cpu": 1,
       "env": {"TERM_PROGRAM": "Apple_Terminal"}}]})"));
  sys::Platform platform = simulation.platform();
  Monitor monitor(platform, nullptr);
  // The chart colours its rows without the hues under test.
  monitor.setIconHueLookup([](const std::string&) { return std::nullopt; });
  simulation.runFor(30);

  std::vector<std::string> asked;
  const RowIcons::IconHue pixels = [&](const std::string& path) -> std::optional<double> {
    asked.push_back(path);
    return 0.6;
  };
  auto hue = [&](const std::string& row) {
    return monitor.rowIcons.hue(row, monitor.tracker(), platform.environment, pixels);
  };
  auto rowOf = [&](std::string_view path) {
    for (const auto& p : simulation.mac().truth().processes) {
      if (p.path == path) return monitor.tracker().rowName(p.pid).value_or("");
    }
    return std::string();
  };
  const std::string server = rowOf("/usr/local/bin/node");
  const std::string bundler = rowOf("/usr/local/bin/bun");
  ASSERT_TRUE(monitor.tracker().isDevTool(server)) << server;
  ASSERT_TRUE(monitor.tracker().isDevTool(bundler)) << bundler;

  EXPECT_EQ(hue(server), RuntimeLogo::hue(*RuntimeLogo::forCommand("node")));
  EXPECT_EQ(hue(bundler), std::nullopt) << "a cream logo colours nothing";
  EXPECT_TRUE(asked.empty()) << "logos need no icon";

  EXPECT_EQ(monitor.iconPath("Editor"), "/Applications/Editor.app");
  EXPECT_EQ(hue("Editor"), 0.6);
  EXPECT_EQ(monitor.iconPath("Claude"), "/Applications/Claude.app");
  EXPECT_EQ(hue("Claude"), 0.6);
  EXPECT_EQ(asked.size(), 2u);

  // Each row is worked out once, an absent hue included.
  EXPECT_EQ(hue("No such app"), std::nullopt);
  EXPECT_TRUE(monitor.rowIcons.hueCache.contains("No such app"));
  hue("Editor");
  hue("No such app");
  EXPECT_EQ(asked.size(), 2u);
}

}  // namespace
}  // namespace ebbwise

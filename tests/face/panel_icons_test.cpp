// The panel input carries each app row's icon, for the rows and the chart's
// markers; developer tools and hardware rows carry none.

#include <gtest/gtest.h>

#include "face/panel_inputs.h"
#include "sim/simulation.h"
#include "support/scenario_text.h"

namespace ebbwise {
namespace {

TEST(PanelIconsTest, AppRowsCarryTheirIconsDeveloperToolsAndHardwareNone) {
  sim::Simulation simulation(scenario(R"({
    "machine": {"backgroundDaemons": 0, "battery": {"percent": 80}},
    "processes": [
      {"id": "sketch", "path": "/Applications/Sketch.app/Contents/MacOS/Sketch", "cpu": 4,
       "icon": "#8E4FE8"},
      {"id": "server", "path": "/usr/local/bin/node", "args": ["node", "server.js"],
       "cwd": "/Users/alex/shop", "tty": true, "cpu": 3,
       "env": {"TERM_PROGRAM": "Apple_Terminal"}}]})"));
  sys::Platform platform = simulation.platform();
  Monitor monitor(platform, nullptr);
  simulation.runFor(3 * 60);

  const ui::PanelInput in = PanelInputs::panel(monitor, platform.clock.now());
  const auto sketch = monitor.icon("Sketch");
  ASSERT_TRUE(sketch);
  bool sawSketch = false, sawServer = false;
  for (const ui::PanelRow& row : in.shares) {
    if (row.name == "Sketch") {
      sawSketch = true;
      EXPECT_EQ(row.icon, sketch);
    } else if (monitor.tracker().isDevTool(row.name) || !monitor.iconPath(row.name)) {
      // Other apps of the machine (the login window) have icons of their own.
      EXPECT_EQ(row.icon, nullptr) << row.name;
      sawServer = sawServer || monitor.tracker().isDevTool(row.name);
    }
  }
  EXPECT_TRUE(sawSketch && sawServer);

  const auto& lines = in.chart.chartLines;
  ASSERT_NE(std::find(lines.begin(), lines.end(), "Sketch"), lines.end());
  EXPECT_EQ(ui::RowIcon::find(in.chart.icons, "Sketch"), sketch.get());
  for (const auto& [line, icon] : in.chart.icons) EXPECT_FALSE(monitor.tracker().isDevTool(line));
}

}  // namespace
}  // namespace ebbwise

// Row icons from the workspace: found once and kept, and the chart hue read
// from the icon's own pixels.

#include <gtest/gtest.h>

#include <cmath>

#include "app/icon_pixels.h"
#include "app/monitor.h"
#include "sim/simulation.h"
#include "support/scenario_text.h"

namespace ebbwise {
namespace {

double hueOf(std::uint32_t rgb) {
  sys::Image one(1, 1);
  one.pixels[0] = 0xFF000000u | rgb;
  return IconPixels::hsba(one).at(0).h;
}

TEST(IconPixelsTest, ScalesByAreaAndReadsColoursWithoutTheirAlpha) {
  sys::Image quad(2, 2);
  quad.pixels = {0xFFFF0000u, 0xFFFF0000u, 0x00000000u, 0x00000000u};
  const sys::Image one = IconPixels::scaled(quad, 1, 1);
  ASSERT_TRUE(one.isValid());
  EXPECT_EQ(one.pixels[0], 0x80800000u) << "half covered: half alpha, premultiplied";
  const auto pixel = IconPixels::hsba(one).at(0);
  EXPECT_DOUBLE_EQ(pixel.h, 0);
  EXPECT_DOUBLE_EQ(pixel.s, 1);
  EXPECT_DOUBLE_EQ(pixel.b, 1) << "the colour is red, however transparent";
  EXPECT_NEAR(pixel.a, 0.5, 0.01);

  // Growing keeps a flat colour flat.
  const sys::Image grown = IconPixels::scaled(quad, 5, 4);
  EXPECT_EQ(grown.at(0, 0), 0xFFFF0000u);
  EXPECT_EQ(grown.at(4, 3), 0u);

  // Icons without colour, and bitmaps whose pixels do not cover their size.
  sys::Image grey(8, 8);
  std::fill(grey.pixels.begin(), grey.pixels.end(), 0xFF808080u);
  EXPECT_EQ(IconPixels::dominantHue(grey), std::nullopt);
  EXPECT_EQ(IconPixels::dominantHue(sys::Image(8, 8)), std::nullopt) << "clear";
  sys::Image broken(4, 4);
  broken.pixels.resize(3);
  EXPECT_EQ(IconPixels::dominantHue(broken), std::nullopt);
  EXPECT_FALSE(IconPixels::scaled(broken, 2, 2).isValid());
  EXPECT_FALSE(IconPixels::scaled(grey, 0, 2).isValid());
  EXPECT_FALSE(sys::Image(-3, 4).isValid());
}

TEST(RowIconImagesTest, IconsComeFromTheWorkspaceAndColourTheirRows) {
  sim::Simulation simulation(scenario(R"({
    "machine": {"backgroundDaemons": 0, "files": ["/Applications/Claude.app"]},
    "processes": [
      {"id": "sketch", "path": "/Applications/Sketch.app/Contents/MacOS/Sketch", "cpu": 1,
       "icon": "#8E4FE8"},
      {"id": "shell", "path": "/Applications/Shell.app/Contents/MacOS/Shell", "cpu": 1,
       "icon": "#3A3A3A"},
      {"id": "tool", "path": "/usr/local/bin/tool", "cpu": 1}]})"));
  sys::Platform platform = simulation.platform();
  Monitor monitor(platform, nullptr);
  simulation.runFor(30);

  const auto sketch = monitor.icon("Sketch");
  ASSERT_TRUE(sketch);
  EXPECT_EQ(monitor.icon("Sketch"), sketch) << "kept, not asked for again";
  // The generated tile's dominant hue is the colour it was painted in.
  ASSERT_TRUE(monitor.iconHue("Sketch"));
  EXPECT_NEAR(*monitor.iconHue("Sketch"), hueOf(0x8E4FE8), 0.01);
  // A grey icon, the desktop app's grey generic tile: no hue.
  EXPECT_TRUE(monitor.icon("Shell"));
  EXPECT_EQ(monitor.iconHue("Shell"), std::nullopt);
  EXPECT_TRUE(monitor.icon("Claude"));
  EXPECT_EQ(monitor.iconHue("Claude"), std::nullopt);

  // Rows without an app file have no icon, and nothing is kept for them.
  EXPECT_EQ(monitor.icon("tool"), nullptr);
  EXPECT_EQ(monitor.icon("Screen & other hardware"), nullptr);
  EXPECT_FALSE(monitor.rowIcons.iconCache.contains("tool"));
}

}  // namespace
}  // namespace ebbwise

// The icons the simulated workspace gives files: each application bundle
// its own tile in its colour, a grey tile for other bundles, a page for
// other files, nothing where no file is.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sim/simulation.h"

namespace ebbwise::sim {
namespace {

constexpr const char* kScenario = R"({
  "machine": {"files": ["/Applications/Other.app", "/Users/alex/notes.txt"]},
  "processes": [
    {"id": "sketch", "path": "/Applications/Sketch.app/Contents/MacOS/Sketch", "icon": "#8E4FE8"},
    {"id": "plain", "path": "/Applications/Plain.app/Contents/MacOS/Plain"}]})";

Scenario parse(const std::string& json) {
  auto parsed = Scenario::parse(json, "t");
  EXPECT_TRUE(parsed) << parsed.error;
  return parsed ? *parsed.scenario : Scenario{};
}

// The hue (0 to 1) and saturation of a premultiplied pixel.
std::pair<double, double> hueAndSaturation(std::uint32_t p) {
  const double a = (p >> 24) / 255.0;
  const double r = ((p >> 16) & 0xFF) / 255.0 / a, g = ((p >> 8) & 0xFF) / 255.0 / a,
               b = (p & 0xFF) / 255.0 / a;
  const double max = std::max({r, g, b}), d = max - std::min({r, g, b});
  if (d <= 0) return {0, 0};
  double h = max == r ? (g - b) / d : max == g ? (b - r) / d + 2 : (r - g) / d + 4;
  h /= 6;
  return {h < 0 ? h + 1 : h, d / max};
}

bool isGrey(const sys::Image& image) {
  return std::all_of(image.pixels.begin(), image.pixels.end(), [](std::uint32_t p) {
    return ((p >> 16) & 0xFF) == ((p >> 8) & 0xFF) && ((p >> 8) & 0xFF) == (p & 0xFF);
  });
}

TEST(SimAppIconsTest, BundlesGetTheirAppsTilesOtherFilesGenericIconsMissingOnesNothing) {
  Simulation sim(parse(kScenario));
  sys::Workspace& workspace = sim.platform().workspace;

  const auto sketch = workspace.iconForFile("/Applications/Sketch.app");
  ASSERT_TRUE(sketch);
  ASSERT_TRUE(sketch->isValid());
  EXPECT_EQ(sketch->width, sketch->height);
  EXPECT_GE(sketch->width, 32) << "sharp at a row icon's size on a Retina screen";
  // The tile's top, clear of its mark, is the scenario's colour, lightened.
  const auto [hue, saturation] =
      hueAndSaturation(sketch->at(sketch->width / 2, sketch->height / 8));
  EXPECT_NEAR(hue, hueAndSaturation(0xFF8E4FE8).first, 0.01);
  EXPECT_GT(saturation, 0.4);
  EXPECT_EQ(sketch->at(0, 0) >> 24, 0u) << "clear corners around a rounded tile";
  EXPECT_EQ(sketch->at(sketch->width / 2, sketch->height / 2) >> 24, 255u);

  // The same icon for the same bundle, however it is written, on any run.
  EXPECT_EQ(workspace.iconForFile("/Applications/Sketch.app/"), sketch);
  Simulation again(parse(kScenario));
  EXPECT_EQ(again.platform().workspace.iconForFile("/Applications/Sketch.app"), sketch);

  // An app without a colour gets one of its own.
  const auto plain = workspace.iconForFile("/Applications/Plain.app");
  ASSERT_TRUE(plain);
  EXPECT_NE(plain, sketch);
  EXPECT_GT(hueAndSaturation(plain->at(plain->width / 2, plain->height / 8)).second, 0.4);

  // A bundle no process runs from: the grey tile; any other file: a page.
  const auto other = workspace.iconForFile("/Applications/Other.app");
  const auto notes = workspace.iconForFile("/Users/alex/notes.txt");
  ASSERT_TRUE(other && notes);
  EXPECT_TRUE(isGrey(*other) && isGrey(*notes));
  EXPECT_NE(other, notes);
  EXPECT_TRUE(workspace.iconForFile("/Users/alex"));  // a folder is a file too

  for (const char* missing : {"/Applications/Gone.app", "", "Applications/Sketch.app",
                              "/Applications/Sketch.app/Contents/Info.plist"}) {
    EXPECT_EQ(workspace.iconForFile(missing), std::nullopt) << missing;
  }
}

TEST(SimAppIconsTest, AnIconColourIsWrittenAsRRGGBB) {
  for (const char* colour :
       {R"("purple")", R"("#8E4FE")", R"("#8E4FE8F")", R"("#8E4FEG")", R"("8E4FE8")", "9326312"}) {
    const std::string json = std::string(R"({"processes": [{"path": "/A.app/Contents/MacOS/A",
                                                            "icon": )") +
                             colour + "}]}";
    auto parsed = Scenario::parse(json, "bad.json");
    ASSERT_FALSE(parsed) << colour;
    EXPECT_NE(parsed.error.find("processes[0].icon: "), std::string::npos) << parsed.error;
  }
  auto parsed = Scenario::parse(
      R"({"processes": [{"path": "/A.app/Contents/MacOS/A", "icon": "#8e4fE8"}]})", "ok.json");
  ASSERT_TRUE(parsed) << parsed.error;
  EXPECT_EQ(parsed.scenario->processes[0].iconColor, 0x8E4FE8u);
}

}  // namespace
}  // namespace ebbwise::sim

// Application icons on Linux: desktop entries, the hicolor theme's sizes,
// the legacy pixmaps, and files that are not what they claim.

#include <gtest/gtest.h>

#include "linux/fixture_tree.h"
#include "linux/icon_theme.h"

namespace ebbwise::linux_host {
namespace {

class IconThemeTest : public ::testing::Test {
 protected:
  std::string at(std::string_view relative) const { return tree.path(relative); }
  IconTheme theme() const { return IconTheme({at("user"), at("system")}, at("pixmaps")); }
  std::optional<int> widthOf(std::string_view path) const {
    auto image = theme().iconForFile(path);
    if (!image) return std::nullopt;
    EXPECT_TRUE(image->isValid());
    return image->width;
  }

  test::FixtureTree tree{"icons"};
};

TEST_F(IconThemeTest, FindsTheSizeClosestAboveWantedThenSmallerThenPixmaps) {
  // 16, 48 and 256 in the user's folder and 64 in the system's: 48 is the
  // smallest from 32 up; its Icon key is read from the entry's own group,
  // not from a localized key or an action.
  const auto editor = theme().iconForFile(at("user/applications/editor.desktop"));
  ASSERT_TRUE(editor);
  EXPECT_EQ(editor->width, 48);
  EXPECT_EQ(editor->height, 48);
  EXPECT_EQ(editor->at(0, 0), 0x80800000u) << "red at half alpha, premultiplied";

  // Only 16 and 24 exist: the larger; a ".png" the entry adds is dropped.
  EXPECT_EQ(widthOf(at("system/applications/sketch.desktop")), 24);
  // Not in the theme: the legacy pixmaps.
  EXPECT_EQ(widthOf(at("system/applications/oldtool.desktop")), 20);
  // The program an entry starts has the entry's icon.
  EXPECT_EQ(widthOf(at("bin/ebbwise-fixture-editor")), 48);

  // An absolute Icon is taken as it is.
  tree.write("system/applications/fixed.desktop",
             "[Desktop Entry]\nIcon=" + at("user/icons/hicolor/256x256/apps/editor.png") + "\n");
  EXPECT_EQ(widthOf(at("system/applications/fixed.desktop")), 256);
}

TEST_F(IconThemeTest, WhatHasNoReadableIconGivesNothing) {
  for (const char* path : {
           "system/applications/missing.desktop",  // no such icon anywhere
           "system/applications/plain.desktop",    // no Icon key
           "system/applications/broken.desktop",   // bytes that are no PNG
           "system/applications/cut.desktop",      // a PNG cut off after its header
           "bin/unknown-tool",                     // no entry starts it
           "no/such/file.desktop",
           "user",  // a folder
       }) {
    EXPECT_EQ(theme().iconForFile(at(path)), std::nullopt) << path;
  }
  EXPECT_EQ(theme().iconForFile("relative/editor.desktop"), std::nullopt);
  EXPECT_EQ(theme().iconForFile(""), std::nullopt);

  // A name is no path: it never climbs out of the theme.
  tree.write("system/applications/escape.desktop", "[Desktop Entry]\nIcon=../../pixmaps/oldtool\n");
  EXPECT_EQ(theme().iconForFile(at("system/applications/escape.desktop")), std::nullopt);
  // A theme without folders finds nothing and reads nothing.
  EXPECT_EQ(IconTheme().iconForFile(at("user/applications/editor.desktop")), std::nullopt);
}

// Surroundings with the data folder variables only.
class DataFolders final : public sys::Environment {
 public:
  DataFolders(std::optional<std::string> home, std::optional<std::string> dirs)
      : home_(std::move(home)), dirs_(std::move(dirs)) {}
  bool fileExists(std::string_view) override { return false; }
  std::optional<std::string> homeDirectory() override { return "/home/alex"; }
  std::optional<std::string> applicationSupportDirectory() override { return std::nullopt; }
  std::optional<std::string> cacheDirectory() override { return std::nullopt; }
  std::optional<std::string> variable(std::string_view name) override {
    return name == "XDG_DATA_HOME" ? home_ : name == "XDG_DATA_DIRS" ? dirs_ : std::nullopt;
  }
  sys::OSVersion osVersion() override { return {}; }

 private:
  std::optional<std::string> home_, dirs_;
};

TEST_F(IconThemeTest, TheUsersFoldersComeFromTheDataVariablesAndRelativeOnesAreIgnored) {
  DataFolders user(at("user"), "relative/share:" + at("system"));
  EXPECT_EQ(IconTheme::forUser(user).iconFile("sketch"),
            at("system/icons/hicolor/24x24/apps/sketch.png"));
  EXPECT_EQ(IconTheme::forUser(user).iconFile("editor"),
            at("user/icons/hicolor/48x48/apps/editor.png"));
}

TEST(IconThemeEntryTest, ReadsTheProgramPastEnvAndQuotes) {
  EXPECT_EQ(IconTheme::program("[Desktop Entry]\nExec=env A=1 B=2 \"/opt/my app/run\" --x\n"),
            "/opt/my app/run");
  EXPECT_EQ(IconTheme::program("[Desktop Entry]\nTryExec=tool\nExec=other %U\n"), "tool");
  EXPECT_EQ(IconTheme::program("[Desktop Entry]\nExec=\n"), std::nullopt);
  EXPECT_EQ(IconTheme::program("[Other]\nExec=tool\n"), std::nullopt);
  EXPECT_EQ(IconTheme::iconKey("[Desktop Entry]\nIcon=\n"), std::nullopt);
  EXPECT_EQ(IconTheme::iconKey("[Desktop Entry]\r\nIcon=app\r\n"), "app");
}

}  // namespace
}  // namespace ebbwise::linux_host

#include "linux/open_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "linux/fixture_tree.h"
#include "linux/power_supply.h"

namespace ebbwise::linux_host {
namespace {

using test::FixtureTree;

ino_t inodeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

TEST(OpenFiles, HeldFilesReadFreshAndReplacedOnesAreOpenedAnew) {
  FixtureTree tree;
  const std::string path = tree.path("voltage_now");
  tree.write("voltage_now", "12100000\n");
  OpenFiles open;
  EXPECT_EQ(open.read(path, inodeOf(path)), "12100000\n");
  EXPECT_EQ(open.size(), 1u);

  // Rewritten in place: the held file gives the new bytes from its start.
  tree.write("voltage_now", "9\n");
  EXPECT_EQ(open.read(path, inodeOf(path)), "9\n");

  // Replaced by a new file (a device that went and came back): its new
  // number opens it afresh rather than reading the old one forever.
  std::filesystem::remove(path);
  tree.write("voltage_now", "11000000\n");
  EXPECT_EQ(open.read(path, inodeOf(path)), "11000000\n");
  EXPECT_EQ(open.size(), 1u);

  // Unreadable files are not held; files not read since the last sweep go.
  std::filesystem::create_directory(tree.path("folder"));
  EXPECT_FALSE(open.read(tree.path("folder"), inodeOf(tree.path("folder"))));
  EXPECT_FALSE(open.read(tree.path("missing"), 1));
  EXPECT_EQ(open.size(), 1u);
  open.sweep();
  EXPECT_EQ(open.size(), 1u);
  open.sweep();
  EXPECT_EQ(open.size(), 0u);
}

TEST(OpenFiles, PowerSuppliesReadThroughHeldFilesLikeFreshOnes) {
  FixtureTree machine("sys/energy-laptop");
  OpenFiles open;
  const auto fresh = PowerSupply::readAll(machine.root());
  const auto held = PowerSupply::readAll(machine.root(), &open);
  ASSERT_EQ(held.size(), fresh.size());
  for (std::size_t i = 0; i < held.size(); ++i) {
    EXPECT_EQ(held[i].name, fresh[i].name);
    EXPECT_EQ(held[i].type, fresh[i].type);
    EXPECT_EQ(held[i].status, fresh[i].status);
    EXPECT_EQ(held[i].usbType, fresh[i].usbType);
    EXPECT_EQ(held[i].voltageNow, fresh[i].voltageNow);
    EXPECT_EQ(held[i].energyNow, fresh[i].energyNow);
    EXPECT_EQ(held[i].online, fresh[i].online);
  }
  const std::size_t files = open.size();
  EXPECT_GT(files, 0u);

  // A charger unplugged: its files are let go at the next reading.
  std::filesystem::remove_all(machine.path("class/power_supply/ucsi-source-psy-USBC000:001"));
  machine.write("class/power_supply/BAT0/status", "Discharging\n");
  const auto later = PowerSupply::readAll(machine.root(), &open);
  EXPECT_EQ(later.size(), held.size() - 1);
  EXPECT_LT(open.size(), files);
  for (const PowerSupply& s : later) {
    if (s.name == "BAT0") {
      EXPECT_EQ(s.status, "Discharging");
    }
  }
}

}  // namespace
}  // namespace ebbwise::linux_host

#include "core/energy_split.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/killable.h"

namespace ebbwise {
namespace {

using EnergySplit::WattsByName;
using Rows = std::vector<std::pair<std::string, double>>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

void expectRows(const std::vector<RowWatts>& rows, const Rows& expected) {
  ASSERT_EQ(rows.size(), expected.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].row.name, expected[i].first) << "row " << i;
    EXPECT_NEAR(rows[i].watts, expected[i].second, 1e-9) << rows[i].row.name;
  }
}

TEST(KillableTest, OnlyRealAppsAndDeveloperProcessesCanBeStopped) {
  struct Case {
    std::string row;
    std::optional<std::string> bundle;
    bool dev, stoppable;
  };
  const Case cases[] = {{"Xcode", "/Applications/Xcode.app", false, true},
                        {"Finder", "/System/Library/CoreServices/Finder.app", false, false},
                        {"Tool", "/usr/local/Tool.app", false, false},
                        {"node", std::nullopt, true, true},
                        {"helper", "/Applications/A.app/Contents/MacOS/helper", false, false},
                        {"Other apps", std::nullopt, true, false},
                        {"Phone, charging", "/Applications/Phone.app", true, false},
                        {"USB-C Hub", "/Applications/USB-C Hub.app", false, true}};
  for (const auto& c : cases) {
    EXPECT_EQ(Killable::isUserStoppable(c.row, c.bundle, c.dev), c.stoppable) << c.row;
  }
}

TEST(NowBreakdownTest, NoMeasuredPowerGivesNoRows) {
  for (double total : {0.0, -3.0, kNaN}) {
    EXPECT_TRUE(EnergySplit::nowBreakdown({{"A", 5}}, total, std::nullopt, 0, 5, 0.1).empty());
    EXPECT_TRUE(
        EnergySplit::nowBreakdown({{"A", 5}}, total, ChipEnergy(1, 1, 0, 1), 0, 5, 0.1).empty());
  }
}

TEST(NowBreakdownTest, WithoutChipAppsAreScaledToTheTotal) {
  // "Other apps" and "System & display" come to 0 and are dropped.
  auto rows = EnergySplit::nowBreakdown({{"A", 8}, {"B", 4}}, 10, std::nullopt, 0, 5, 0.1);
  expectRows(rows, {{"A", 80.0 / 12}, {"B", 40.0 / 12}});
  EXPECT_NEAR(rows[0].row.fraction + rows[1].row.fraction, 1.0, 1e-9);
}

TEST(NowBreakdownTest, WithChipAppsAreCappedByProcessorPlusBilledGraphics) {
  // Apps claim 9 W; the processor drew 4 W and 1 W of graphics was billed.
  auto rows =
      EnergySplit::nowBreakdown({{"A", 6}, {"B", 3}}, 12, ChipEnergy(4, 3, 0.5, 1), 1, 5, 0.1);
  expectRows(rows, {{"Screen, speakers & Wi-Fi", 3.5},
                    {"A", 30.0 / 9},
                    {"Drawing the screen", 2},
                    {"B", 15.0 / 9},
                    {"Keeping your Mac running", 1},
                    {"Video playback", 0.5}});
}

TEST(NowBreakdownTest, RowsThatExceedTheTotalAreScaledDownTogether) {
  // The chip reports more than the whole system.
  auto rows = EnergySplit::nowBreakdown({{"A", 2}}, 10, ChipEnergy(6, 4, 0, 2), 0, 5, 0.1);
  double k = 10.0 / 12;
  expectRows(rows, {{"macOS background work", 4 * k},
                    {"Drawing the screen", 4 * k},
                    {"A", 2 * k},
                    {"Keeping your Mac running", 2 * k}});
  EXPECT_NEAR(rows[0].row.fraction, 4 * k / 10, 1e-12);
}

TEST(NowBreakdownTest, LimitAndMinimumSendAppsToOtherApps) {
  WattsByName apps{{"A", 3}, {"B", 2}, {"C", 0.05}, {"D", 1}};
  // C fits within the limit but draws under 0.1 W.
  expectRows(EnergySplit::nowBreakdown(apps, 20, std::nullopt, 0, 4, 0.1),
             {{"System & display", 13.95}, {"A", 3}, {"B", 2}, {"D", 1}, {"Other apps", 0.05}});
  expectRows(EnergySplit::nowBreakdown(apps, 20, std::nullopt, 0, 1, 0.1),
             {{"System & display", 13.95}, {"Other apps", 3.05}, {"A", 3}});
  // Equal apps are ordered by name, whatever the map's order.
  expectRows(
      EnergySplit::nowBreakdown({{"Zed", 1}, {"Alpha", 1}, {"Mid", 1}}, 3, std::nullopt, 0, 2, 0.1),
      {{"Alpha", 1}, {"Mid", 1}, {"Other apps", 1}});
}

TEST(NowBreakdownTest, RowsAreShownFromFiveMilliwatts) {
  auto hasOther = [](double small) {
    auto rows = EnergySplit::nowBreakdown({{"A", 1}, {"B", small}}, 10, std::nullopt, 0, 1, 0.1);
    return std::ranges::any_of(rows, [](const auto& r) { return r.row.isOther(); });
  };
  EXPECT_FALSE(hasOther(0.004));
  EXPECT_TRUE(hasOther(0.005));
}

TEST(NowBreakdownTest, NonFiniteFiguresAreIgnored) {
  WattsByName apps{{"A", 2}, {"Broken", kNaN}, {"Wild", std::numeric_limits<double>::infinity()}};
  // The NaN processor counts as 0, which then leaves the apps nothing.
  expectRows(EnergySplit::nowBreakdown(apps, 10, ChipEnergy(kNaN, 1, 0, 1), kNaN, 5, 0.1),
             {{"Screen, speakers & Wi-Fi", 8},
              {"Drawing the screen", 1},
              {"Keeping your Mac running", 1}});
}

TEST(SimpleBreakdownTest, SplitsHardwareAndMergesChipRows) {
  HardwareReading hw(3, true, 0.5, 0.25, {{"Phone, charging", 1.5}});
  hw.chargingHeatWatts = 0.5;
  // 5 W on the chip, 7 W outside it.
  auto rows = EnergySplit::simpleBreakdown({{"A", 1}}, 12, ChipEnergy(3, 1, 0, 1), 0, hw, 5, 0.1);
  expectRows(rows, {{"macOS itself", 4},
                    {"Screen", 3},
                    {"Phone, charging", 1.5},
                    {"Other hardware", 1.25},
                    {"A", 1},
                    {"Speakers", 0.5},
                    {"Charging heat", 0.5},
                    {"Keyboard light", 0.25}});
  EXPECT_DOUBLE_EQ(rows[0].row.fraction, 4.0 / 12);
}

TEST(SimpleBreakdownTest, HardwareRowsShareOnlyWhatIsLeftOutsideTheChip) {
  ChipEnergy chip(2, 0, 0, 1);  // 3 W on the chip, 4 W outside it
  HardwareReading greedy(3, true, 3, 1, {{"USB-C device", 2}});
  greedy.chargingHeatWatts = 1;
  expectRows(EnergySplit::simpleBreakdown({}, 7, chip, 0, greedy, 5, 0.1),
             {{"macOS itself", 3}, {"Screen", 3}, {"Speakers", 1}});
  // Silent speakers and unusable estimates take nothing.
  HardwareReading odd(-1, false, 2, kNaN, {});
  expectRows(EnergySplit::simpleBreakdown({}, 7, chip, 0, odd, 5, 0.1),
             {{"Other hardware", 4}, {"macOS itself", 3}});
  // Without a calibrated screen the remainder stays one row.
  HardwareReading uncalibrated(std::nullopt, true, 1, 1, {});
  expectRows(EnergySplit::simpleBreakdown({}, 7, chip, 0, uncalibrated, 5, 0.1),
             {{"Screen & other hardware", 4}, {"macOS itself", 3}});
}

TEST(SharesTest, FractionsOfThePeriodsEnergy) {
  EXPECT_EQ(EnergySplit::shares({{"A", 30}, {"B", 10}}, 80, 10),
            (std::vector<AppShare>{{"A", 0.375}, {"B", 0.125}, {"System & display", 0.5}}));
  // Apps over the measured energy are scaled to it.
  auto over = EnergySplit::shares({{"A", 60}, {"B", 40}}, 80, 10);
  ASSERT_EQ(over.size(), 3u);
  EXPECT_NEAR(over[0].fraction + over[1].fraction, 1, 1e-12);
  EXPECT_NEAR(over[2].fraction, 0, 1e-12);
  EXPECT_TRUE(EnergySplit::shares({{"A", 1}}, 0, 2).empty());
}

TEST(SharesTest, LimitFoldsTheRestIntoOtherApps) {
  WattsByName apps{{"A", 4}, {"B", 3}, {"C", 2}, {"D", 1}};
  auto exact = EnergySplit::shares(apps, 20, 4);
  EXPECT_EQ(exact.size(), 5u);
  EXPECT_TRUE(exact.back().isSystem());
  auto folded = EnergySplit::shares(apps, 20, 2);
  ASSERT_EQ(folded.size(), 4u);
  EXPECT_EQ(folded[2].name, "Other apps");
  EXPECT_DOUBLE_EQ(folded[2].fraction, 3.0 / 20);
  // Folded apps that used nothing add no "Other apps" row.
  EXPECT_EQ(EnergySplit::shares({{"A", 4}, {"Idle", 0}}, 8, 1),
            (std::vector<AppShare>{{"A", 0.5}, {"System & display", 0.5}}));
}

TEST(NowWattsTest, EachListedRowGetsItsLivePower) {
  std::vector<AppShare> rows = {
      {"A", 0.4}, {"Other apps", 0.1}, {"System & display", 0.3}, {"Gone", 0.2}, {"Screen", 0}};
  WattsByName apps{{"A", 3}, {"B", 2}, {"Screen", 1}};
  // A group row's name does not hide an app of that name from "Other apps".
  EXPECT_EQ(EnergySplit::nowWatts(rows, apps, 12),
            (WattsByName{
                {"A", 3}, {"Other apps", 3}, {"System & display", 6}, {"Gone", 0}, {"Screen", 1}}));
  // Apps over the total are scaled to it, leaving nothing for the system.
  EXPECT_EQ(
      EnergySplit::nowWatts(rows, apps, 3),
      (WattsByName{
          {"A", 1.5}, {"Other apps", 1.5}, {"System & display", 0}, {"Gone", 0}, {"Screen", 0.5}}));
}

}  // namespace
}  // namespace ebbwise

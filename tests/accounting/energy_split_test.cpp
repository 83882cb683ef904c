#include "accounting/energy_split.h"

#include <gtest/gtest.h>

#include <cmath>

#include "accounting/killable.h"

namespace ebbwise {
namespace {

// The rows' names and watts, in order.
void expectRows(const std::vector<RowWatts>& rows, const std::vector<std::string>& names,
                const std::vector<double>& watts) {
  ASSERT_EQ(rows.size(), names.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].row.name, names[i]) << "row " << i;
    EXPECT_NEAR(rows[i].watts, watts[i], 1e-9) << rows[i].row.name;
  }
}

TEST(KillableTest, OnlyRealAppsAndDeveloperProcessesCanBeStopped) {
  const std::tuple<std::string, std::optional<std::string>, bool, bool> cases[] = {
      {"Xcode", "/Applications/Xcode.app", false, true},
      {"Finder", "/System/Library/CoreServices/Finder.app", false, false},
      {"node", std::nullopt, true, true},
      {"Other apps", std::nullopt, true, false}};
  for (const auto& [row, bundle, dev, stoppable] : cases) {
    EXPECT_EQ(Killable::isUserStoppable(row, bundle, dev), stoppable) << row;
  }
}

TEST(NowBreakdownTest, AppsAreCappedByWhatTheChipDrewAndRowsByTheTotal) {
  // Apps claim 9 W; the processor drew 4 W and 1 W of graphics was billed.
  expectRows(
      EnergySplit::nowBreakdown({{"A", 6}, {"B", 3}}, 12, ChipEnergy(4, 3, 0.5, 1), 1, 5, 0.1),
      {"Screen, speakers & Wi-Fi", "A", "Drawing the screen", "B", "Keeping your Mac running",
       "Video playback"},
      {3.5, 30.0 / 9, 2, 15.0 / 9, 1, 0.5});
  // The chip reports more than the whole system: all rows shrink together.
  const double k = 10.0 / 12;
  expectRows(EnergySplit::nowBreakdown({{"A", 2}}, 10, ChipEnergy(6, 4, 0, 2), 0, 5, 0.1),
             {"macOS background work", "Drawing the screen", "A", "Keeping your Mac running"},
             {4 * k, 4 * k, 2 * k, 2 * k});
  // Bad figures count as nothing; without a usable total there are no rows.
  expectRows(EnergySplit::nowBreakdown({{"A", 2}, {"Broken", NAN}, {"Wild", INFINITY}}, 10,
                                       ChipEnergy(NAN, 1, 0, 1), NAN, 5, 0.1),
             {"Screen, speakers & Wi-Fi", "Drawing the screen", "Keeping your Mac running"},
             {8, 1, 1});
  EXPECT_TRUE(EnergySplit::nowBreakdown({{"A", 5}}, NAN, std::nullopt, 0, 5, 0.1).empty());
}

TEST(NowBreakdownTest, LimitAndMinimumSendAppsToOtherApps) {
  // C fits within the limit but draws under 0.1 W; under 5 mW no row is shown.
  expectRows(EnergySplit::nowBreakdown({{"A", 3}, {"B", 2}, {"C", 0.05}, {"D", 1}, {"E", 0.004}},
                                       20.004, std::nullopt, 0, 4, 0.1),
             {"System & display", "A", "B", "D", "Other apps"}, {13.95, 3, 2, 1, 0.054});
}

TEST(SimpleBreakdownTest, HardwareRowsShareOnlyWhatIsLeftOutsideTheChip) {
  ChipEnergy chip(2, 0, 0, 1);  // 3 W on the chip, 4 W outside it
  HardwareReading hw(1, true, 0.5, 0.25, {{"Phone, charging", 1.5}});
  hw.chargingHeatWatts = 0.5;
  expectRows(EnergySplit::simpleBreakdown({{"A", 1}}, 7, chip, 0, hw, 5, 0.1),
             {"macOS itself", "Phone, charging", "A", "Screen", "Speakers", "Charging heat",
              "Keyboard light", "Other hardware"},
             {2, 1.5, 1, 1, 0.5, 0.5, 0.25, 0.25});
}

TEST(SharesTest, FractionsOfThePeriodsEnergy) {
  auto shares = EnergySplit::shares({{"A", 4}, {"B", 3}, {"C", 2}, {"D", 0}}, 20, 1);
  EXPECT_EQ(shares,
            (std::vector<AppShare>{{"A", 0.2}, {"Other apps", 0.25}, {"System & display", 0.55}}));
}

}  // namespace
}  // namespace ebbwise

// History ranges and the live chart: the figures of each range, the thinned
// percent line, the chart's span and its lines and colour slots.

#include <gtest/gtest.h>

#include "../support/history_test_support.h"
#include "app/chart_history.h"
#include "app/monitor.h"
#include "app/range_figures.h"
#include "display_rules/series_palette.h"
#include "scripted_mac.h"

namespace ebbwise {
namespace {

TEST(RangeFiguresTest, ALongLineIsThinnedToExactlyTheLimit) {
  std::vector<BatteryPoint> points;
  for (int i = 0; i < 1000; ++i) points.push_back({sys::Date{double(i)}, double(i) / 10, false});
  const auto thinned = RangeFigures::thinned(points, 400);
  ASSERT_EQ(thinned.size(), 400u);
  for (std::size_t i : {0u, 1u, 2u, 3u, 399u}) {
    EXPECT_EQ(thinned[i], points[static_cast<std::size_t>(i * 2.5)]) << i;
  }
  EXPECT_EQ(thinned[2].date.secondsSince1970, 5);
  EXPECT_EQ(RangeFigures::thinned({points.begin(), points.begin() + 400}, 400).size(), 400u);
}

TEST(RangeFiguresTest, RangesReadTheirSpanOfTheHistory) {
  test::TempFolder folder;
  Store store(folder.file("history.sqlite"));
  const double now = 2'000'000'000;
  // One on-battery minute 2 days ago and one 2 hours ago.
  for (double ago : {2 * 86400.0, 7200.0}) {
    store.write(HistoryRecord{now - ago, 60, 50, -10, false, {{"Render", 400}, {"Notes", 50}}});
  }
  const RangeFigures day = RangeFigures::fromStore(HistoryRange::day, store, now);
  EXPECT_EQ(day.seconds, 60);
  EXPECT_EQ(day.joules, 600);
  EXPECT_EQ(day.appJoules.at("Render"), 400);
  ASSERT_FALSE(day.shares.empty());
  EXPECT_EQ(day.shares[0].name, "Render");
  EXPECT_EQ(day.history.size(), 1u);
  const RangeFigures week = RangeFigures::fromStore(HistoryRange::week, store, now);
  EXPECT_EQ(week.seconds, 120);
  EXPECT_EQ(week.history.size(), 2u);

  // Without a session the on-battery range starts now: only the live point.
  RangeFigures none = RangeFigures::forSession(std::nullopt, store, now);
  EXPECT_TRUE(none.history.empty());
  EXPECT_TRUE(none.shares.empty());
}

TEST(MonitorRangeTest, AnUnknownRangeNameSelectsTheOnBatteryRange) {
  test::ScriptedMac mac;
  mac.setBattery(40, -10, false);
  Monitor monitor(mac.platform(), nullptr);
  EXPECT_TRUE(monitor.setRange("7 days"));
  EXPECT_EQ(monitor.range(), HistoryRange::week);
  EXPECT_FALSE(monitor.setRange("7 Days"));
  EXPECT_EQ(monitor.range(), HistoryRange::session);
  ASSERT_FALSE(monitor.history.empty());
  EXPECT_EQ(monitor.history.back().date, mac.loop.now()) << "the live point";
  EXPECT_EQ(monitor.history.back().percent, 40);
}

// A chart of rows whose watts the test sets, with icon hues it chooses.
struct Chart {
  ChartHistory chart{[] {
    auto h = SeriesPalette::hues();
    return std::vector<double>(h.begin(), h.end());
  }()};
  std::map<std::string, double> hues;
  void record(double at, std::map<std::string, double> watts) {
    chart.record(sys::Date{at}, watts, [this](const std::string& row) -> std::optional<double> {
      auto it = hues.find(row);
      return it == hues.end() ? std::nullopt : std::optional<double>(it->second);
    });
  }
};

TEST(ChartHistoryTest, KeepsFifteenMinutesOfSamples) {
  Chart c;
  c.record(0, {{"Render", 3}});
  c.record(2, {{"Render", 3}});
  c.record(901, {});
  EXPECT_EQ(c.chart.sampleCount(), 1u) << "901 s old is gone, 899 s old stays";
  EXPECT_EQ(c.chart.samples().front().first.secondsSince1970, 2);
}

TEST(ChartHistoryTest, TheRestLineNeedsAPeakOfFiftyMilliwatts) {
  for (double rest : {0.049, 0.05}) {
    SCOPED_TRACE(rest);
    Chart c;
    // Six rows over the minimum: the smallest is left to the rest line.
    c.record(0, {{"A", 6}, {"B", 5}, {"C", 4}, {"D", 3}, {"E", 2}, {"F", rest}});
    EXPECT_EQ(c.chart.chartedRows().size(), 5u);
    const bool hasRest = c.chart.chartLines().size() == 6;
    EXPECT_EQ(hasRest, rest >= 0.05);
  }
}

TEST(ChartHistoryTest, AColouredIconTakesItsSlotFromANeutralRow) {
  Chart c;
  c.record(0, {{"Neutral", 2}});
  ASSERT_EQ(c.chart.seriesSlot().at("Neutral"), 2) << "first of the neutral order";
  // An icon of slot 2's hue takes it; the neutral row moves to the next free
  // slot of the order 2, 4, 5, 3, 0, 1.
  c.hues["Green"] = SeriesPalette::hues()[2];
  c.record(5, {{"Neutral", 2}, {"Green", 3}});
  EXPECT_EQ(c.chart.seriesSlot().at("Green"), 2);
  EXPECT_EQ(c.chart.seriesSlot().at("Neutral"), 4);
  // Slots stay with their rows.
  c.record(10, {{"Neutral", 2}, {"Green", 3}, {"Other", 1}});
  EXPECT_EQ(c.chart.seriesSlot().at("Green"), 2);
  EXPECT_EQ(c.chart.seriesSlot().at("Neutral"), 4);
  EXPECT_EQ(c.chart.seriesSlot().at("Other"), 5);
}

}  // namespace
}  // namespace ebbwise

// The charge figures the monitor derives, held to the simulated battery's
// truth: the live charge between the gauge's coarse reports, and the
// long-run average of the gauge's wandering full-capacity estimates.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/monitor.h"
#include "sim/simulation.h"

namespace ebbwise {
namespace {

void record(const std::string& key, double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", value);
  ::testing::Test::RecordProperty(key, text);
  std::printf("%s: %s\n", key.c_str(), text);
}

sim::Scenario embedded(std::string_view name) {
  auto parsed = sim::Scenario::embedded(name);
  EXPECT_TRUE(parsed) << parsed.error;
  return parsed ? *parsed.scenario : sim::Scenario{};
}

// An hour of the default machine on battery, checked at every tick: the
// gauge reports its charge in whole mAh every 20 seconds, the live charge
// follows the net battery power in between.
TEST(ChargeAccuracyTest, LiveChargeStaysWithinHalfAPercentOverAnHourOnBattery) {
  sim::Simulation simulation(embedded("default"));
  Monitor monitor(simulation.platform(), nullptr);
  double worstLive = 0, worstReported = 0;
  int ticks = 0, between = 0;
  monitor.setTickObserver([&] {
    ASSERT_FALSE(monitor.battery->onAC);
    const double truth = simulation.mac().truth().chargeMAh;
    ++ticks;
    if (monitor.liveCharge.mAh != static_cast<double>(*monitor.liveCharge.lastReported)) ++between;
    worstLive = std::max(worstLive, std::abs(*monitor.liveCharge.mAh - truth) / truth);
    worstReported =
        std::max(worstReported,
                 std::abs(static_cast<double>(*monitor.liveCharge.lastReported) - truth) / truth);
  });
  simulation.runFor(3600);
  record("ticks", ticks);
  record("ticksBetweenReports", between);
  record("worstLiveChargeError", worstLive);
  record("worstReportedChargeError", worstReported);
  EXPECT_GT(between, ticks / 2) << "most ticks fall between two reports";
  EXPECT_LT(worstLive, 0.005);
  EXPECT_LT(worstLive, worstReported) << "following the power beats waiting for the gauge";
}

// A day of the default machine that wakes for two minutes every half hour
// (checking mail on its own, say) and sleeps in between: the gauge learns its
// capacity afresh every half hour, so the monitor sees every estimate of the
// day, and their mean, though each wanders a percent or so either way,
// settles on the true capacity.
TEST(ChargeAccuracyTest, CapacityMeanIsWithinOnePercentAfterADay) {
  sim::Scenario day = embedded("default");
  day.events.clear();
  day.sleeps.clear();
  for (int period = 0; period < 48; ++period) {
    sim::Event sleep;
    sleep.type = sim::EventType::sleep;
    sleep.at = period * 1800.0 + 120;
    sleep.value = 1800 - 60;
    day.events.push_back(sleep);
  }
  sim::Simulation simulation(std::move(day));
  Monitor monitor(simulation.platform(), nullptr);
  simulation.runFor(24 * 3600);
  const double truth = simulation.mac().truth().fullMAh;
  ASSERT_TRUE(monitor.capacity.mean);
  const double error = std::abs(*monitor.capacity.mean - truth) / truth;
  record("capacityEstimates", static_cast<double>(monitor.capacity.count));
  record("capacityMeanError", error);
  double worstEstimate = 0;
  for (double mAh : monitor.capacity.last)
    worstEstimate = std::max(worstEstimate, std::abs(mAh - truth) / truth);
  record("lastEstimateError", worstEstimate);
  EXPECT_LT(error, 0.01);
  EXPECT_NEAR(monitor.battery->fullMAh.value_or(0), *monitor.capacity.mean, 0.5)
      << "the reading uses the mean";
}

}  // namespace
}  // namespace ebbwise

// The report's account of what the monitor did: the ledger since the last
// charge, the alerts with their times and Low Power Mode with its switches.

#include <gtest/gtest.h>

#include "app/session_report.h"
#include "sim/simulation.h"
#include "support/scenario_text.h"

namespace ebbwise {
namespace {

TEST(ActivityReportTest, TheReportCarriesTheLedgerAlertsAndLowPowerSwitchesOfTheRun) {
  sim::Simulation simulation(scenario(R"({
    "machine": {"backgroundDaemons": 0, "battery": {"percent": 90}},
    "processes": [
      {"id": "render", "path": "/Applications/Render.app/Contents/MacOS/Render",
       "cpu": 6, "fluctuation": 0}],
    "events": [{"at": "2m", "type": "low-power", "mode": "always"}]})"));
  Monitor monitor(simulation.platform(), nullptr);
  DayLog log;
  log.observe(monitor);
  monitor.setTickObserver([&] { log.observe(monitor); });
  // Long enough for the switch to leave the monitor's 15-minute chart.
  simulation.runFor(20 * 60);

  SessionReport report = SessionReport::from(monitor, "test", 20 * 60);
  report.add(log);
  const sys::Value json = report.json();

  const sys::Value& ledger = json.at("sinceCharge");
  ASSERT_TRUE(ledger.is_object()) << ledger;
  ASSERT_FALSE(ledger.at("rows").empty());
  EXPECT_EQ(ledger.at("rows")[0].at("name"), "Render") << "highest first";
  double sum = 0;
  for (const auto& row : ledger.at("rows")) sum += row.at("joules").get<double>();
  EXPECT_NEAR(sum, ledger.at("totalJoules").get<double>(), 1e-6);
  EXPECT_FALSE(ledger.at("savedAt").is_null());

  const sys::Value& alerts = json.at("alerts");
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0].at("app"), "Render");
  const double alertAfter =
      alerts[0].at("at").get<double>() - simulation.mac().startDate().secondsSince1970;
  EXPECT_GT(alertAfter, 60);
  EXPECT_LT(alertAfter, 5 * 60);

  const sys::Value& lowPower = json.at("lowPowerMode");
  EXPECT_EQ(lowPower.at("on"), true);
  EXPECT_TRUE(lowPower.at("error").is_null());
  ASSERT_EQ(lowPower.at("switches").size(), 1u) << "the whole run, not the chart's 15 minutes";
  EXPECT_EQ(lowPower.at("switches")[0].at("on"), true);

  EXPECT_EQ(json.at("panels").at("menuBarText"), monitor.menuBarText());
  const std::string text = report.table();
  EXPECT_NE(text.find("Since the last charge"), std::string::npos) << text;
  EXPECT_NE(text.find("Render is draining your battery"), std::string::npos) << text;
  EXPECT_NE(text.find("Low Power Mode: on, switched 1 time"), std::string::npos) << text;
}

}  // namespace
}  // namespace ebbwise

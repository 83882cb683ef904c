#include "app/session_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "app/report_units.h"
#include "base/terminal_text.h"

namespace ebbwise {
namespace {

TEST(SessionReportTable, HostileAndWideNamesKeepTheTableWhole) {
  SessionReport report;
  report.machine = "simulated MacBook \"\x1B]0;owned\x07\"";
  report.hasBattery = true;
  report.percent = 80;
  report.sessionSeconds = 600;
  report.batteryJoules = 3600;
  report.apps = {
      {"Evil\x1B[2J\x1B[H", 1000, 0, 0.3, std::nullopt, std::nullopt},
      {std::string("Cut\0Short", 9), 900, 0, 0.2, std::nullopt, std::nullopt},
      {"\u5FAE\u4FE1 \u5FAE\u4FE1 \u5FAE\u4FE1 \u5FAE\u4FE1 \u5FAE\u4FE1 \u5FAE\u4FE1 \u5FAE\u4FE1",
       800, 0, 0.2, std::nullopt, std::nullopt},
      {"Re\u0301sume\u0301 Writer\rOverwritten", 700, 0, 0.1, std::nullopt, std::nullopt},
      {"Safari", 600, 0, 0.1, std::nullopt, std::nullopt},
  };
  const std::string table = report.table();

  for (char control : {'\x1B', '\x07', '\0', '\r'}) {
    EXPECT_EQ(table.find(control), std::string::npos) << int(control);
  }
  EXPECT_NE(table.find("Short"), std::string::npos) << "a NUL cut the table off";
  EXPECT_NE(table.find("Safari"), std::string::npos);

  // Every app row is as wide as the header, whatever its name holds.
  std::istringstream lines(table);
  std::string line;
  std::size_t headerWidth = 0, rows = 0;
  while (std::getline(lines, line)) {
    if (line.starts_with("App ")) headerWidth = TerminalText::width(line);
    if (line.ends_with(" %") && headerWidth > 0) {
      EXPECT_EQ(TerminalText::width(line), headerWidth) << line;
      ++rows;
    }
  }
  EXPECT_EQ(rows, 6u);  // five apps and macOS
}

// 2024-11-12 08:30 UTC.
constexpr sys::Date kMorning{1'731'400'200.0};

SessionReport onBattery(double seconds, double batteryJoules) {
  SessionReport report;
  report.machine = "simulated MacBook \"test\"";
  report.seconds = seconds;
  report.hasBattery = true;
  report.percent = 96;
  report.sessionSeconds = seconds;
  report.sessionStartPercent = 97;
  report.batteryJoules = batteryJoules;
  report.startedAt = kMorning;
  return report;
}

bool has(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

TEST(SessionReportTable, UnitsFitTheFigures) {
  // Ten seconds at 20 W: tiny figures are told in seconds and mWh.
  SessionReport brief = onBattery(10, 200);
  brief.apps = {{"Figma", 35, 0, 0.175, 36.0, std::nullopt},
                {"Safari", 1, 0, 0.005, std::nullopt, std::nullopt}};
  brief.trueSystemJoules = 201;
  const std::string table = brief.table();
  EXPECT_TRUE(
      has(table, "Ebbwise report: simulated MacBook \"test\", 10s from 2024-11-12 08:30 UTC"))
      << table;
  EXPECT_TRUE(has(table, "On battery for 10s since 97 %: 55.6 mWh drawn   (really 55.8 mWh)"))
      << table;
  EXPECT_TRUE(has(table, "9.7 mWh")) << table;
  EXPECT_TRUE(has(table, "10.0 mWh")) << table;  // Figma's truth, in the table's unit
  EXPECT_FALSE(has(table, "0.00 Wh")) << table;
  EXPECT_FALSE(has(table, " 0m")) << table;

  // A day's figures in watt-hours and days.
  SessionReport day = onBattery(2 * 86400 + 5 * 3600, 180'000);
  day.apps = {{"Xcode", 36'000, 0, 0.2, std::nullopt, std::nullopt}};
  const std::string long_ = day.table();
  EXPECT_TRUE(has(long_, ", 2d 05h from")) << long_;
  EXPECT_TRUE(has(long_, "50.00 Wh drawn")) << long_;
  EXPECT_TRUE(has(long_, "10.00 Wh")) << long_;
}

TEST(SessionReportTable, LongCommandNamesAreCutBetweenArguments) {
  SessionReport report = onBattery(600, 7200);
  report.apps = {
      {"Webapp \u00B7 node node_modules/next/dist/server/lib/start-server.js --port 3000", 3600, 0,
       0.5, std::nullopt, std::nullopt}};
  const std::string table = report.table();
  // Every word shown whole, ending with the ellipsis.
  const std::size_t at = table.find("Webapp");
  ASSERT_NE(at, std::string::npos) << table;
  const std::string shown = table.substr(at, table.find("\u2026", at) - at);
  EXPECT_TRUE(std::string(report.apps[0].name).starts_with(shown + " ")) << shown;
}

TEST(SessionReportTable, BothTablesNameTheMachineAlike) {
  SessionReport report = onBattery(600, 7200);
  report.apps = {{"Figma", 3000, 0, 0.4, std::nullopt, std::nullopt}};
  report.rows = {{"Screen & other hardware", 4.6, 0.3, std::nullopt},
                 {"Figma", 3.6, 0.25, std::nullopt},
                 {"macOS itself", 3.6, 0.25, std::nullopt},
                 {"Other apps", 2.9, 0.2, std::nullopt}};
  const std::string table = report.table();
  const std::string now = table.substr(table.find("Now (last 30 seconds)"));
  // The parts of the machine stand under the session table's name for them,
  // with their sum, in the order of the watts.
  const std::size_t group = now.find("\nSystem & display ");
  const std::size_t screen = now.find("\n  Screen & other hardware ");
  const std::size_t macOS = now.find("\n  macOS itself ");
  const std::size_t figma = now.find("\nFigma ");
  ASSERT_NE(group, std::string::npos) << now;
  EXPECT_TRUE(has(now.substr(group, now.find('\n', group + 1) - group), "8.2 W")) << now;
  EXPECT_LT(group, screen);
  EXPECT_LT(screen, macOS);
  EXPECT_LT(macOS, figma);
  EXPECT_TRUE(has(table, "\nSystem & display ")) << table;

  const sys::Value json = report.json();
  EXPECT_EQ(json["rows"][0]["partOf"], "System & display");
  EXPECT_FALSE(json["rows"][1].contains("partOf"));
  EXPECT_FALSE(json["rows"][3].contains("partOf"));
}

TEST(SessionReportTable, LastStretchOnBatteryHasBothEnds) {
  SessionReport report = onBattery(3 * 3600, 40'000);
  report.onAC = true;
  DayLog::Stretch stretch{kMorning, 97, kMorning + 5400, 60};
  report.stretch = stretch;
  report.events = {{kMorning, DayLog::kStart, "On battery at 97 %", 97},
                   {kMorning + 5400, DayLog::kPluggedIn, "Plugged in at 60 %\x1B[2J", 60}};
  const std::string table = report.table();
  EXPECT_TRUE(has(table,
                  "Last stretch on battery: 08:30:00 at 97 % to 10:00:00 at 60 %, 1h 30m: "
                  "11.11 Wh drawn"))
      << table;
  EXPECT_TRUE(has(table,
                  "What happened (UTC)\n  08:30:00  On battery at 97 %\n"
                  "  10:00:00  Plugged in at 60 %\uFFFD[2J\n"))
      << table;

  const sys::Value json = report.json();
  EXPECT_EQ(json["stretch"]["start"], kMorning.secondsSince1970);
  EXPECT_EQ(json["stretch"]["end"], kMorning.secondsSince1970 + 5400);
  EXPECT_EQ(json["stretch"]["endPercent"], 60);
  ASSERT_EQ(json["events"].size(), 2u);
  EXPECT_EQ(json["events"][1]["kind"], "pluggedIn");
  EXPECT_EQ(json["events"][1]["at"], kMorning.secondsSince1970 + 5400);
  EXPECT_EQ(json["startedAt"], kMorning.secondsSince1970);
  EXPECT_TRUE(json["panels"]["statusLine"].is_string());
}

TEST(SessionReportTable, TimesCarryTheirDateOnceARunCrossesMidnight) {
  EXPECT_FALSE(DayLog::spansDays(kMorning, 3 * 3600));
  EXPECT_TRUE(DayLog::spansDays(kMorning, 16 * 3600));  // past midnight
  EXPECT_TRUE(DayLog::spansDays(std::nullopt, 86400));
  EXPECT_FALSE(DayLog::spansDays(std::nullopt, 3600));
  EXPECT_EQ(DayLog::clock(kMorning, false), "08:30:00");
  EXPECT_EQ(DayLog::clock(kMorning + 16 * 3600, true), "Nov 13 00:30");
  EXPECT_EQ(DayLog::clock(sys::Date{std::nan("")}, true), "?");
  EXPECT_EQ(DayLog::clock(sys::Date{1e300}, true), "?");
}

TEST(ChargeReportText, SaysWhetherTheChargerKeepsUp) {
  ChargeReport charge;
  charge.onAC = true;
  charge.charger =
      ChargeReport::Charger{"96W USB-C Power Adapter", std::nullopt, std::nullopt, 96, 45};
  charge.flow = ChargeReport::Flow{ChargeFlow{45, 54}, std::nullopt};
  std::string text = charge.text();
  EXPECT_TRUE(has(text, "Charger: 96W USB-C Power Adapter (rated 96 W, 45 W negotiated)")) << text;
  EXPECT_TRUE(has(text,
                  "it delivers 45.0 W, the Mac uses 54.0 W, draining 9.0 W even on the "
                  "charger"))
      << text;

  charge.charging = true;
  charge.flow = ChargeReport::Flow{ChargeFlow{60, 20}, 65.0};
  text = charge.text();
  EXPECT_TRUE(has(text, "40.0 W into the battery; full in 1h 05m")) << text;
}

TEST(ReportUnits, SpansAndEnergies) {
  const std::pair<double, const char*> spans[] = {
      {0, "0s"},         {10, "10s"},
      {59.4, "59s"},     {59.6, "1m"},
      {3900, "1h 05m"},  {86400 - 3600, "23h 00m"},
      {86400, "1d 00h"}, {3 * 86400 + 4 * 3600, "3d 04h"},
      {-1, "-"},         {std::nan(""), "-"}};
  for (const auto& [seconds, text] : spans) EXPECT_EQ(ReportUnits::span(seconds), text) << seconds;
  EXPECT_EQ(ReportUnits::energy(200), "55.6 mWh");
  EXPECT_EQ(ReportUnits::energy(3600), "1.00 Wh");
  EXPECT_EQ(ReportUnits::energy(20, ReportUnits::Energy::wattHours), "0.01 Wh");
  EXPECT_EQ(ReportUnits::energy(std::nan(""), ReportUnits::Energy::wattHours), "-");
}

}  // namespace
}  // namespace ebbwise

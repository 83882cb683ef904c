#include "app/session_report.h"

#include <gtest/gtest.h>

#include <sstream>

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

}  // namespace
}  // namespace ebbwise

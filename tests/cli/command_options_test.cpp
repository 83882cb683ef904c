#include "cli/command_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/scenario_catalog.h"

namespace ebbwise {
namespace {

CommandOptions::Parsed parse(std::vector<std::string_view> arguments) {
  return CommandOptions::parse(arguments);
}

TEST(CommandOptions, ReadsTheLinesUsersType) {
  struct Case {
    std::vector<std::string_view> arguments;
    bool simulate;
    std::optional<std::string> scenario;
    std::optional<double> seconds;
    bool json = false;
    bool calibrate = false;
  };
  const Case cases[] = {
      {{"--simulate", "--report"}, true, {}, {}},
      {{"--simulate", "weak-charger", "--report"}, true, "weak-charger", {}},
      {{"--simulate", "weak-charger", "--report", "1h30m"}, true, "weak-charger", 5400},
      {{"--report", "1d", "--simulate", "./mine.json"}, true, "./mine.json", 86400},
      {{"--simulate=overnight", "--report=10m", "--json"}, true, "overnight", 600, true},
      {{"--simulate", "--report", "--json", "--calibrate"}, true, {}, {}, true, true},
      {{"--report", "90"}, false, {}, 90},
      {{"--calibrate", "--report", "1.5h"}, false, {}, 5400, false, true},
  };
  for (const Case& c : cases) {
    const std::string line = testing::PrintToString(c.arguments);
    CommandOptions::Parsed parsed = parse(c.arguments);
    ASSERT_TRUE(parsed) << line << ": " << parsed.problem;
    const ReportOptions& report = parsed.line->report;
    EXPECT_FALSE(parsed.line->help) << line;
    EXPECT_EQ(report.simulate, c.simulate) << line;
    EXPECT_EQ(report.scenario, c.scenario) << line;
    EXPECT_EQ(report.seconds, c.seconds) << line;
    EXPECT_EQ(report.json, c.json) << line;
    EXPECT_EQ(report.calibrate, c.calibrate) << line;
  }
}

TEST(CommandOptions, RefusesWhatItCannotFollowAndSaysWhy) {
  struct Case {
    std::vector<std::string_view> arguments;
    std::string_view problem;  // a part of what the user is told
  };
  const Case cases[] = {
      {{}, "nothing to do"},
      {{"--render-panel"}, "needs a PATH"},
      {{"--render-panel", "a.png", "--report", "1h"}, "separate jobs"},
      {{"--render-panel", "a.png", "--at", "soon"}, "\"soon\" is not a duration"},
      {{"--render-panel", "a.png", "--at", "-5m"}, "is negative"},
      {{"--at", "5m", "--simulate"}, "--at only goes with --render-panel"},
      {{"--simulate", "--speed", "0"}, "is not a speed-up"},
      {{"--simulate", "--speed", "fast"}, "is not a speed-up"},
      {{"--simulate", "--speed", "nan"}, "is not a speed-up"},
      {{"--simulate", "--report", "--speed", "10"}, "--speed only goes with a live run"},
      {{"--panel", "--report", "1h"}, "--panel only goes with a live run"},
      {{"--simulate", "--json"}, "--json only goes with --report"},
      {{"--json"}, "nothing to do"},
      {{"--report"}, "--report needs a DURATION"},
      {{"--report", "0"}, "no time at all"},
      {{"--report", "-5m"}, "is negative"},
      {{"--report", "367d"}, "longer than a year"},
      {{"--report", "soon"}, "\"soon\" is not a duration"},
      {{"--report", "1h30"}, "is not a duration"},
      {{"--repot", "1h"}, "did you mean --report?"},
      {{"--sim", "--report", "1h"}, "did you mean --simulate?"},
      {{"--verbose", "--report", "1h"}, "unknown option \"--verbose\""},
      {{"--json=yes", "--report", "1h"}, "--json takes no value"},
      {{"--report", "1h", "--report", "2h"}, "--report is given twice"},
      {{"--simulate", "--simulate", "--report"}, "--simulate is given twice"},
      {{"--simulate=", "--report"}, "the scenario is empty"},
      {{"--report=", "--simulate"}, "the duration is empty"},
      {{"--report", "1h", "extra"}, "unexpected argument \"extra\""},
      {{"--simulate", "--report", "1h", "weak-charger"}, "--simulate weak-charger"},
      // The background jobs stand alone on the line.
      {{"--monitor", "--report", "24h"}, "--monitor takes no other option (--report"},
      {{"--install-service", "--simulate"}, "(--simulate was given)"},
      {{"--monitor", "--install-service"}, "separate jobs"},
      {{"--monitor=yes"}, "--monitor takes no value"},
      {{"--monitr"}, "did you mean --monitor?"},
      {{"--install-servce"}, "did you mean --install-service?"},
  };
  for (const Case& c : cases) {
    CommandOptions::Parsed parsed = parse(c.arguments);
    EXPECT_FALSE(parsed) << testing::PrintToString(c.arguments);
    EXPECT_NE(parsed.problem.find(c.problem), std::string::npos)
        << testing::PrintToString(c.arguments) << ": " << parsed.problem;
  }
}

TEST(CommandOptions, FaceJobsTakeTheirOwnOptions) {
  CommandOptions::Parsed live = parse({"--simulate", "weak-charger", "--speed", "60", "--panel"});
  ASSERT_TRUE(live) << live.problem;
  EXPECT_TRUE(live.line->live);
  EXPECT_EQ(live.line->report.scenario, "weak-charger");
  EXPECT_EQ(live.line->face.speed, 60);
  EXPECT_TRUE(live.line->face.panel);

  CommandOptions::Parsed picture = parse({"--render-panel", "out.png", "--at", "2h"});
  ASSERT_TRUE(picture) << picture.problem;
  EXPECT_FALSE(picture.line->live);
  EXPECT_TRUE(picture.line->report.simulate);
  EXPECT_EQ(picture.line->face.renderPanel, "out.png");
  EXPECT_EQ(picture.line->face.at, 7200);

  CommandOptions::Parsed plain = parse({"--render-panel=out.png", "--simulate", "summer"});
  ASSERT_TRUE(plain) << plain.problem;
  EXPECT_EQ(plain.line->face.at, 12);
  EXPECT_EQ(plain.line->report.scenario, "summer");

  for (auto [argument, monitor] : {std::pair{"--monitor", true}, {"--install-service", false}}) {
    const auto job = parse({argument});
    ASSERT_TRUE(job) << job.problem;
    EXPECT_EQ(job.line->monitor, monitor);
    EXPECT_EQ(job.line->installService, !monitor);
  }
}

TEST(CommandOptions, HelpWinsOverEverythingElseOnTheLine) {
  for (std::vector<std::string_view> line : {std::vector<std::string_view>{"-h"},
                                             {"--help"},
                                             {"--bogus", "--help"},
                                             {"--report", "never", "-h"}}) {
    CommandOptions::Parsed parsed = parse(line);
    ASSERT_TRUE(parsed) << parsed.problem;
    EXPECT_TRUE(parsed.line->help);
  }
}

TEST(CommandOptions, HelpNamesEveryBuiltInScenarioAndTheExitCodes) {
  const std::string help = CommandOptions::helpText();
  for (const auto& scenario : sim::ScenarioCatalog::builtIns()) {
    EXPECT_NE(help.find("  " + scenario.name + " ("), std::string::npos) << scenario.name;
  }
  for (std::string_view text : {"docs/scenarios.md", "1h30m", "--install-service",
                                "Exit status:", "\n  0 ", "\n  1 ", "\n  2 "}) {
    EXPECT_NE(help.find(text), std::string::npos) << text;
  }
  // Fits a standard terminal.
  std::size_t start = 0;
  while (start < help.size()) {
    const std::size_t end = help.find('\n', start);
    EXPECT_LE(end - start, 80u) << help.substr(start, end - start);
    start = end + 1;
  }
}

TEST(CommandOptions, UsageErrorsArePrefixedAndSafeToPrint) {
  const std::string text = CommandOptions::usageError("unknown option \"\x1B[2J\"");
  EXPECT_TRUE(text.starts_with("ebbwise: unknown option")) << text;
  EXPECT_EQ(text.find('\x1B'), std::string::npos);
  EXPECT_TRUE(text.ends_with("Run \"ebbwise --help\" to see the options.\n")) << text;
}

}  // namespace
}  // namespace ebbwise

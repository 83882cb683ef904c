// The report command's handling of what the user hands it: scenario paths,
// folders it cannot write, names that are not text.

#include "cli/report_command.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <algorithm>

#include <filesystem>
#include <fstream>
#include <map>

#include "sim/scenario.h"
#include "support/history_test_support.h"
#include "support/stub_environment.h"
#include "sys/value.h"

namespace ebbwise {
namespace {

using test::TempFolder;

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

ReportOptions simulated(std::optional<std::string> scenario, bool json = false) {
  ReportOptions options;
  options.simulate = true;
  options.scenario = std::move(scenario);
  options.seconds = 120;
  options.json = json;
  return options;
}

// A data folder of the test's own.
struct ReportCommand : ::testing::Test {
  TempFolder folder;
  test::StubEnvironment host = test::StubEnvironment::withDataFolder(folder.file("data"));
};

TEST_F(ReportCommand, RefusesScenarioPathsThatAreNoFileToRead) {
  const std::string fifo = folder.file("fifo.json");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string huge = folder.file("huge.json");
  // Valid JSON all the way (a comment), so only its size can refuse it.
  writeFile(huge, "{}//" + std::string(sim::Scenario::kMaxFileBytes, 'x'));
  std::filesystem::create_directory(folder.file("folder.json"));

  const std::pair<std::string, std::string> cases[] = {
      {"/dev/zero", "/dev/zero: is not a regular file"},  // never ends
      {fifo, fifo + ": is not a regular file"},           // would wait for a writer
      {huge, huge + ": is too large for a scenario (over 4 MiB)"},
      {folder.file("folder.json"), folder.file("folder.json") + ": is a folder, not a file"},
      {folder.file("missing.json"),
       folder.file("missing.json") + ": cannot read the file (no such file)"},
      // The path is echoed, but never as a command to the terminal.
      {folder.file("\x1B[2J.json"),
       folder.file("\uFFFD[2J.json") + ": cannot read the file (no such file)"},
  };
  for (const auto& [path, message] : cases) {
    CommandResult result = runReport(simulated(path), host);
    EXPECT_EQ(result.exitCode, 2) << path;
    EXPECT_EQ(result.err, "ebbwise: " + message + "\n");
    EXPECT_EQ(result.out, "");
  }
}

TEST_F(ReportCommand, ScenarioNamedAfterAPathThatIsNotText) {
  const std::string path = folder.file("caf\xE9-\xFF.json");  // Latin-1 bytes
  writeFile(path, "{}");

  CommandResult json = runReport(simulated(path, true), host);
  ASSERT_EQ(json.exitCode, 0) << json.err;
  auto document = sys::Value::parse(json.out, nullptr, false);
  ASSERT_FALSE(document.is_discarded());
  EXPECT_NE(document["machine"].get<std::string>().find("caf\uFFFD-\uFFFD.json"),
            std::string::npos);

  CommandResult table = runReport(simulated(path), host);
  EXPECT_EQ(table.exitCode, 0);
  EXPECT_NE(table.out.find("caf\uFFFD-\uFFFD.json"), std::string::npos);
}

TEST_F(ReportCommand, BuiltInScenarioByNameRunsForItsOwnLengthAndTellsHowItWent) {
  ReportOptions options = simulated("weak-charger", true);
  options.seconds.reset();
  CommandResult result = runReport(options, host);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const sys::Value report = sys::Value::parse(result.out);
  EXPECT_EQ(report["simulatedSeconds"], 5400);  // the scenario's "1h30m"

  // Unplugged at 40 minutes for ten seconds: the stretch has both ends.
  const double start = report["startedAt"].get<double>();
  const sys::Value& stretch = report["stretch"];
  ASSERT_TRUE(stretch.is_object()) << report.dump(2);
  EXPECT_NEAR(stretch["start"].get<double>() - start, 40 * 60, 5);
  ASSERT_TRUE(stretch["end"].is_number());
  EXPECT_NEAR(stretch["end"].get<double>() - start, 40 * 60 + 10, 5);
  EXPECT_GT(stretch["startPercent"].get<double>(), 0);

  std::vector<std::string> kinds, texts;
  for (const sys::Value& event : report["events"]) {
    kinds.push_back(event["kind"].get<std::string>());
    texts.push_back(event["text"].get<std::string>());
  }
  ASSERT_FALSE(kinds.empty());
  EXPECT_EQ(kinds.front(), "start");
  EXPECT_NE(std::find(kinds.begin(), kinds.end(), "unplugged"), kinds.end());
  EXPECT_NE(std::find(kinds.begin(), kinds.end(), "pluggedIn"), kinds.end());
  // The 45 W cable cannot feed the render: told once, not at every flicker
  // of the meter.
  EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                          [](const std::string& t) {
                            return t.find("even on the charger") != std::string::npos;
                          }),
            1)
      << report["events"].dump(2);
  double previous = 0;
  for (const sys::Value& event : report["events"]) {
    EXPECT_GE(event["at"].get<double>(), previous) << "out of order: " << event.dump();
    previous = event["at"].get<double>();
  }
  const sys::Value& panels = report["panels"];
  EXPECT_TRUE(panels["statusLine"] == "Charging" || panels["statusLine"] == "Plugged in" ||
              panels["statusLine"].get<std::string>().starts_with("Charging, full in"))
      << panels.dump();
  EXPECT_TRUE(panels["notchLeft"]["symbol"] == "bolt.fill" ||
              panels["notchLeft"]["symbol"] == "powerplug.fill");

  options.json = false;
  const std::string table = runReport(options, host).out;
  for (std::string_view part : {"Ebbwise report: simulated MacBook \"weak-charger\", 1h 30m from "
                                "2024-12-02 14:00 UTC",
                                "\nNotch: ", "\nStatus: ", "\nLast stretch on battery: 14:40:",
                                "\nWhat happened (UTC)\n  14:00:00  On the charger at 64 %\n",
                                "Charger: 96W USB-C Power Adapter"}) {
    EXPECT_NE(table.find(part), std::string::npos) << part << "\n" << table;
  }
}

TEST_F(ReportCommand, AnUnknownScenarioNameListsTheBuiltInOnes) {
  CommandResult result = runReport(simulated("weak-charge"), host);
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_TRUE(result.err.starts_with("ebbwise: no scenario \"weak-charge\"")) << result.err;
  EXPECT_NE(result.err.find("weak-charger"), std::string::npos) << result.err;
}

TEST_F(ReportCommand, SaysOnceThatTheHistoryCannotBeKeptAndGoesOn) {
  // A file where the data folder should be: even a privileged user cannot
  // make a folder inside it.
  writeFile(folder.file("occupied"), "");
  auto blocked = test::StubEnvironment::withDataFolder(folder.file("occupied"));
  CommandResult result = runReport(simulated(std::nullopt), blocked);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("Ebbwise report"), std::string::npos);
  const std::string notice = "ebbwise: the history cannot be kept (cannot write ";
  ASSERT_NE(result.err.find(notice), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find(notice, result.err.find(notice) + 1), std::string::npos);
  EXPECT_NE(result.err.find(": Not a directory); going on without it\n"), std::string::npos)
      << result.err;

  EXPECT_EQ(runReport(simulated(std::nullopt), host).err, "");
}

TEST_F(ReportCommand, CalibratesAtTheStartAndSaysWhatItLearned) {
  ReportOptions options = simulated(std::nullopt, true);
  options.calibrate = true;
  CommandResult result = runReport(options, host);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  sys::Value report = sys::Value::parse(result.out);
  const sys::Value& calibration = report["calibration"];
  EXPECT_EQ(calibration["screen"].size(), 5u);
  EXPECT_TRUE(calibration["keyboardFullWatts"].is_number());
  // The default machine plays music from the start.
  EXPECT_EQ(calibration["speakerNote"],
            "Your speakers are already on (kept on by Spotify), so they couldn't be measured. "
            "Ebbwise will measure them the next time they turn off.");
  EXPECT_TRUE(calibration["error"].is_null());
  bool screenRow = false;
  for (const sys::Value& row : report["rows"]) {
    if (row["name"] == "Screen") {
      screenRow = true;
      EXPECT_TRUE(row["trueWatts"].is_number());
    } else if (row["name"] != "Keyboard light" && row["name"] != "Speakers") {
      EXPECT_FALSE(row.contains("trueWatts")) << row["name"];
    }
  }
  EXPECT_TRUE(screenRow);

  options.json = false;
  std::string table = runReport(options, host).out;
  EXPECT_NE(table.find("Calibration\n  Screen          0.00 W at 10 %"), std::string::npos)
      << table;

  options.calibrate = false;
  options.json = true;
  EXPECT_FALSE(sys::Value::parse(runReport(options, host).out).contains("calibration"));
}

TEST_F(ReportCommand, AMacWithoutANotchIsTurnedAway) {
  for (const char* model : {"notchless", "desktop"}) {
    const std::string path = folder.file(std::string(model) + ".json");
    writeFile(path, std::string(R"({"machine": {"model": ")") + model + R"("}})");
    CommandResult result = runReport(simulated(path), host);
    EXPECT_EQ(result.exitCode, 1) << model;
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("Ebbwise needs a MacBook with a notch\n")) << result.err;
  }
}

}  // namespace
}  // namespace ebbwise

// The report command's handling of what the user hands it: scenario paths,
// folders it cannot write, names that are not text.

#include "cli/report_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "sim/scenario.h"
#include "support/history_test_support.h"
#include "sys/value.h"

namespace ebbwise {
namespace {

using test::TempFolder;

// The host's surroundings with a data folder of the test's choosing.
class DataFolderEnvironment final : public sys::Environment {
 public:
  explicit DataFolderEnvironment(std::string folder) : folder_(std::move(folder)) {}
  bool fileExists(std::string_view) override { return false; }
  std::optional<std::string> homeDirectory() override { return std::nullopt; }
  std::optional<std::string> applicationSupportDirectory() override { return std::nullopt; }
  std::optional<std::string> cacheDirectory() override { return std::nullopt; }
  std::optional<std::string> variable(std::string_view name) override {
    if (name == "EBBWISE_DATA_DIR") return folder_;
    return std::nullopt;
  }
  sys::OSVersion osVersion() override { return {15, 1, 0}; }

 private:
  std::string folder_;
};

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

TEST(ReportCommand, RefusesScenarioPathsThatAreNoFileToRead) {
  TempFolder folder;
  DataFolderEnvironment host(folder.file("data"));
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

TEST(ReportCommand, ScenarioNamedAfterAPathThatIsNotText) {
  TempFolder folder;
  DataFolderEnvironment host(folder.file("data"));
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

TEST(ReportCommand, SaysOnceThatTheHistoryCannotBeKeptAndGoesOn) {
  TempFolder folder;
  // A file where the data folder should be: even a privileged user cannot
  // make a folder inside it.
  writeFile(folder.file("occupied"), "");
  DataFolderEnvironment blocked(folder.file("occupied"));
  CommandResult result = runReport(simulated(std::nullopt), blocked);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("Ebbwise report"), std::string::npos);
  const std::string notice = "ebbwise: the history cannot be kept (cannot write ";
  ASSERT_NE(result.err.find(notice), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find(notice, result.err.find(notice) + 1), std::string::npos);
  EXPECT_NE(result.err.find(": Not a directory); going on without it\n"), std::string::npos)
      << result.err;

  DataFolderEnvironment fine(folder.file("data"));
  EXPECT_EQ(runReport(simulated(std::nullopt), fine).err, "");
}

}  // namespace
}  // namespace ebbwise

namespace ebbwise {
namespace {

TEST(ReportCommand, CalibratesAtTheStartAndSaysWhatItLearned) {
  TempFolder folder;
  DataFolderEnvironment host(folder.file("data"));
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

}  // namespace
}  // namespace ebbwise

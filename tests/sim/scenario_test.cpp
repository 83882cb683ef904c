#include "sim/scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "sim/embedded_scenarios.h"

namespace ebbwise::sim {
namespace {

struct BadScenario {
  const char* json;
  const char* message;  // what the error must contain after "bad.json: "
};

class ScenarioErrorTest : public ::testing::TestWithParam<BadScenario> {};

TEST_P(ScenarioErrorTest, NamesTheFileAndTheProblem) {
  auto parsed = Scenario::parse(GetParam().json, "bad.json");
  ASSERT_FALSE(parsed);
  EXPECT_EQ(parsed.error.rfind("bad.json: ", 0), 0u) << parsed.error;
  EXPECT_NE(parsed.error.find(GetParam().message), std::string::npos) << parsed.error;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, ScenarioErrorTest,
    ::testing::Values(
        BadScenario{"{\n  \"machine\": {\n    \"chip\": 1,,\n", "invalid JSON at line 3, column"},
        BadScenario{"", "invalid JSON"}, BadScenario{"[1, 2]", "expected an object, found a list"},
        BadScenario{R"({"machine": {"chip": "M1"}})",
                    "machine.chip: expected a number, found a string"},
        BadScenario{R"({"machine": {"chip": 7}})", "machine.chip: must be between 1 and 4"},
        BadScenario{R"({"machine": {"chip": 1.5}})", "machine.chip: expected a whole number"},
        BadScenario{R"({"machine": {"chipp": 1}})", "machine.chipp: unknown key"},
        BadScenario{R"({"machine": {"battery": {"percent": 140}}})",
                    "machine.battery.percent: must be between 0 and 100"},
        BadScenario{R"({"machine": {"start": "yesterday"}})", "machine.start: not a date"},
        BadScenario{R"({"machine": {"os": "fifteen"}})", "machine.os: not a version"},
        BadScenario{R"({"machine": {"output": "radio"}})",
                    "machine.output: unknown value \"radio\""},
        BadScenario{R"({"processes": {}})", "processes: expected a list, found an object"},
        BadScenario{R"({"processes": [{"path": "bin/x"}]})",
                    "processes[0].path: expected an absolute path"},
        BadScenario{R"({"processes": [{"path": "/x", "cpu": -1}]})",
                    "processes[0].cpu: must be between"},
        BadScenario{R"({"processes": [{"path": "/x", "start": 60, "end": 30}]})",
                    "processes[0].end: ends before it starts"},
        BadScenario{R"({"processes": [{"path": "/x"}, {"path": "/y/x"}]})",
                    "processes[1].id: duplicate id \"x\""},
        BadScenario{R"({"processes": [{"path": "/x", "parent": "nobody"}]})",
                    "processes[0].parent: no process \"nobody\""},
        BadScenario{
            R"({"processes": [{"id": "a", "path": "/a", "pid": 900}, {"id": "b", "path": "/b", "pid": 900, "start": 10}]})",
            "processes[1].pid: pid 900 is in use by \"a\""},
        BadScenario{R"({"events": [{"at": 5, "type": "teleport"}]})",
                    "events[0].type: unknown event \"teleport\""},
        BadScenario{R"({"events": [{"at": 5}]})", "events[0]: missing \"type\""},
        BadScenario{R"({"events": [{"at": "soon", "type": "unplug"}]})",
                    "events[0].at: not a time: \"soon\""},
        BadScenario{R"({"events": [{"at": -5, "type": "unplug"}]})",
                    "events[0].at: must be between 0"},
        BadScenario{R"({"events": [{"at": 5, "type": "brightness"}]})",
                    "events[0]: missing \"level\""},
        BadScenario{R"({"events": [{"at": 5, "type": "brightness", "level": 2}]})",
                    "events[0].level: must be between 0 and 1"},
        BadScenario{R"({"events": [{"at": 5, "type": "unplug", "level": 1}]})",
                    "events[0].level: unknown key"},
        BadScenario{R"({"events": [{"at": 5, "type": "plug", "name": "x"}]})",
                    "events[0]: missing \"watts\""},
        BadScenario{R"({"events": [{"at": 5, "type": "load", "process": "ghost", "cpu": 1}]})",
                    "no process \"ghost\""},
        BadScenario{R"({"events": [{"at": 5, "type": "exit", "process": "ghost"}]})",
                    "events[0].process: no process \"ghost\""},
        BadScenario{
            R"({"events": [{"at": 10, "type": "sleep", "duration": 60}, {"at": 30, "type": "sleep", "duration": 5}]})",
            "starts before the one at 10 s ends"}));

TEST(ScenarioTest, ReadsTimesInEveryForm) {
  auto parsed = Scenario::parse(R"({
    "duration": "1h30m",
    "processes": [{"path": "/a", "start": "-10m"}, {"path": "/b", "start": "1:02:03", "end": "2.5h"}],
    "events": [{"at": 90, "type": "unplug"}, {"at": "45s", "type": "unplug"}, {"at": "2:30", "type": "unplug"}]
  })",
                                "t");
  ASSERT_TRUE(parsed) << parsed.error;
  const Scenario& s = *parsed.scenario;
  EXPECT_EQ(s.duration, 5400);
  EXPECT_EQ(s.processes[0].start, -600);
  EXPECT_EQ(s.processes[1].start, 3723);
  EXPECT_EQ(s.processes[1].end, 9000);
  // Events come out in time order.
  ASSERT_EQ(s.events.size(), 3u);
  EXPECT_EQ(s.events[0].at, 45);
  EXPECT_EQ(s.events[1].at, 90);
  EXPECT_EQ(s.events[2].at, 150);
}

TEST(ScenarioTest, ReadsDatesInUTCAndWithOffsets) {
  auto a = Scenario::parse(R"({"machine": {"start": "2024-11-12T09:00:00Z"}})", "t");
  auto b = Scenario::parse(R"({"machine": {"start": "2024-11-12T10:30:00+01:30"}})", "t");
  auto c = Scenario::parse(R"({"machine": {"start": 1731402000}})", "t");
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(a.scenario->machine.start.secondsSince1970, 1731402000.0);
  EXPECT_EQ(b.scenario->machine.start.secondsSince1970, 1731402000.0);
  EXPECT_EQ(c.scenario->machine.start.secondsSince1970, 1731402000.0);
}

TEST(ScenarioTest, StartAndExitEventsBecomeLifetimesAndCopiesShareThem) {
  auto parsed = Scenario::parse(R"({
    "events": [
      {"at": "10m", "type": "exit", "process": "helper"},
      {"at": "2m", "type": "start", "process": {"id": "helper", "path": "/h", "count": 3, "cpu": 0.5}},
      {"at": "5m", "type": "load", "process": "helper", "cpu": 2}
    ]
  })",
                                "t");
  ASSERT_TRUE(parsed) << parsed.error;
  const Scenario& s = *parsed.scenario;
  ASSERT_EQ(s.processes.size(), 3u);
  EXPECT_EQ(s.processes[2].id, "helper#3");
  for (const auto& p : s.processes) {
    EXPECT_EQ(p.start, 120);
    EXPECT_EQ(p.end, 600);
  }
  ASSERT_EQ(s.events.size(), 1u);  // only the load change stays an event
  EXPECT_TRUE(inGroup("helper#3", "helper"));
  EXPECT_FALSE(inGroup("helper3", "helper"));
}

TEST(ScenarioTest, CommentsAreAllowed) {
  auto parsed = Scenario::parse("// a note\n{ /* inline */ \"duration\": 60 }", "t");
  ASSERT_TRUE(parsed) << parsed.error;
  EXPECT_EQ(parsed.scenario->duration, 60);
}

TEST(ScenarioTest, LoadAndEmbeddedReportWhatIsMissing) {
  auto file = Scenario::load("/nonexistent/dir/x.json");
  EXPECT_FALSE(file);
  EXPECT_EQ(file.error, "/nonexistent/dir/x.json: cannot read the file");
  auto folder = Scenario::load("/");
  EXPECT_FALSE(folder);
  EXPECT_EQ(folder.error, "/: is a folder, not a file");
  auto missing = Scenario::embedded("nope");
  EXPECT_FALSE(missing);
  EXPECT_NE(missing.error.find("default"), std::string::npos) << missing.error;
}

TEST(ScenarioTest, LoadsFilesAndNamesThemInErrors) {
  auto dir =
      std::filesystem::temp_directory_path() /
      ("ebbwise-scenario-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(dir);
  const std::string good = (dir / "good.json").string(), bad = (dir / "bad.json").string();
  std::ofstream(good) << R"({"duration": "2h", "machine": {"chip": 2}})";
  std::ofstream(bad) << R"({"machine": {"chip": 2}, "events": [{"at": 1, "type": "warp"}]})";
  auto loaded = Scenario::load(good);
  ASSERT_TRUE(loaded) << loaded.error;
  EXPECT_EQ(loaded.scenario->duration, 7200);
  EXPECT_EQ(loaded.scenario->machine.chip, 2);
  EXPECT_EQ(Scenario::load(bad).error, bad + ": events[0].type: unknown event \"warp\"");
  std::filesystem::remove_all(dir);
}

TEST(ScenarioTest, EveryEmbeddedScenarioParses) {
  ASSERT_TRUE(embeddedScenarios().count("default"));
  for (const auto& [name, text] : embeddedScenarios()) {
    auto parsed = Scenario::parse(text, name);
    EXPECT_TRUE(parsed) << parsed.error;
  }
}

TEST(ScenarioTest, DefaultStartsOnBatteryForAtLeastTwoHours) {
  auto parsed = Scenario::embedded("default");
  ASSERT_TRUE(parsed) << parsed.error;
  const Scenario& s = *parsed.scenario;
  EXPECT_FALSE(s.machine.charger);
  auto plug = std::find_if(s.events.begin(), s.events.end(),
                           [](const Event& e) { return e.type == EventType::plug; });
  ASSERT_NE(plug, s.events.end());
  EXPECT_GE(plug->at, 2 * 3600);
  EXPECT_LT(plug->at, s.duration);
  EXPECT_FALSE(s.sleeps.empty());
}

}  // namespace
}  // namespace ebbwise::sim

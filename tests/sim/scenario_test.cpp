#include "sim/scenario.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "sim/embedded_scenarios.h"

namespace ebbwise::sim {
namespace {

TEST(ScenarioTest, ErrorsNameTheFileThePlaceAndTheProblem) {
  const std::pair<const char*, const char*> cases[] = {
      {"{\n  \"machine\": {\n    \"chip\": 1,,\n", "invalid JSON at line 3, column"},
      {"[1, 2]", "expected an object, found a list"},
      {R"({"machine": {"chip": "M1"}})", "machine.chip: expected a number, found a string"},
      {R"({"machine": {"chip": 7}})", "machine.chip: must be between 1 and 4"},
      {R"({"machine": {"chip": 1.5}})", "machine.chip: expected a whole number"},
      {R"({"machine": {"chipp": 1}})", "machine.chipp: unknown key"},
      {R"({"machine": {"start": "yesterday"}})", "machine.start: not a date"},
      // Dates that would overflow the machine's integer stamps or stop its clock.
      {R"({"machine": {"start": 1e19}})", "machine.start: must be between 2001-01-01"},
      {R"({"machine": {"start": -1e15}})", "machine.start: must be between 2001-01-01"},
      {R"({"machine": {"start": "9999-12-31T00:00:00Z"}})", "machine.start: must be between"},
      {R"({"machine": {"platform": {"failedSamples": 2}}})",
       "machine.platform.failedSamples: must be between 0 and 1"},
      {R"({"machine": {"platform": {"cpuTotal": "mean"}}})",
       "machine.platform.cpuTotal: unknown value \"mean\""},
      {R"({"machine": {"platform": {"root": true}}})", "machine.platform.root: unknown key"},
      {R"({"machine": {"os": "fifteen"}})", "machine.os: not a version"},
      {R"({"machine": {"output": "radio"}})", "machine.output: unknown value \"radio\""},
      {R"({"processes": [{"path": "bin/x"}]})", "processes[0].path: expected an absolute path"},
      {R"({"processes": [{"path": "/x", "start": 6, "end": 3}]})",
       "[0].end: ends before it starts"},
      {R"({"processes": [{"path": "/x"}, {"path": "/y/x"}]})", "[1].id: duplicate id \"x\""},
      {R"({"processes": [{"path": "/x", "parent": "no"}]})", "[0].parent: no process \"no\""},
      {R"({"processes": [{"path": "/a", "pid": 9}, {"path": "/b", "pid": 9}]})", "pid 9 is in use"},
      {R"({"events": [{"at": 5, "type": "warp"}]})", "events[0].type: unknown event \"warp\""},
      {R"({"events": [{"at": 5}]})", "events[0]: missing \"type\""},
      {R"({"events": [{"at": "soon", "type": "unplug"}]})", "events[0].at: not a time: \"soon\""},
      {R"({"events": [{"at": 5, "type": "plug", "name": "x"}]})", "events[0]: missing \"watts\""},
      {R"({"events": [{"at": 5, "type": "unplug", "level": 1}]})", "events[0].level: unknown key"},
      {R"({"events": [{"at": 5, "type": "load", "process": "x", "cpu": 1}]})", "no process \"x\""},
      {R"({"events": [{"at": 5, "type": "exit", "process": "x"}]})", "process: no process \"x\""},
      {R"({"events": [{"at": 10, "type": "sleep", "duration": 60},
                      {"at": 30, "type": "sleep", "duration": 5}]})",
       "starts before the one at 10 s ends"},
  };
  for (const auto& [json, message] : cases) {
    auto parsed = Scenario::parse(json, "bad.json");
    ASSERT_FALSE(parsed) << json;
    EXPECT_EQ(parsed.error.rfind("bad.json: ", 0), 0u) << parsed.error;
    EXPECT_NE(parsed.error.find(message), std::string::npos) << parsed.error;
  }
}

TEST(ScenarioTest, ReadsTimesAndDatesInEveryForm) {
  auto parsed = Scenario::parse(R"(// a note
  { /* inline */ "duration": "1h30m",
    "processes": [{"path": "/a", "start": "-10m"}, {"path": "/b", "start": "1:02:03", "end": "2.5h"}],
    "events": [{"at": 90, "type": "unplug"}, {"at": "45s", "type": "unplug"},
               {"at": "2:30", "type": "unplug"}]})",
                                "t");
  ASSERT_TRUE(parsed) << parsed.error;
  const Scenario& s = *parsed.scenario;
  EXPECT_EQ(s.duration, 5400);
  EXPECT_EQ((std::vector{*s.processes[0].start, *s.processes[1].start, *s.processes[1].end}),
            (std::vector{-600.0, 3723.0, 9000.0}));
  ASSERT_EQ(s.events.size(), 3u);  // in time order
  EXPECT_EQ((std::vector{s.events[0].at, s.events[1].at, s.events[2].at}),
            (std::vector{45.0, 90.0, 150.0}));
  for (const char* start :
       {"\"2024-11-12T09:00:00Z\"", "\"2024-11-12T10:30:00+01:30\"", "1731402000"}) {
    auto dated = Scenario::parse(std::string(R"({"machine": {"start": )") + start + "}}", "t");
    ASSERT_TRUE(dated) << dated.error;
    EXPECT_EQ(dated.scenario->machine.start.secondsSince1970, 1731402000.0) << start;
  }
}

TEST(ScenarioTest, StartAndExitEventsBecomeLifetimesAndCopiesShareThem) {
  auto parsed = Scenario::parse(R"({"events": [
      {"at": "10m", "type": "exit", "process": "helper"},
      {"at": "2m", "type": "start", "process": {"id": "helper", "path": "/h", "count": 3}},
      {"at": "5m", "type": "load", "process": "helper", "cpu": 2}]})",
                                "t");
  ASSERT_TRUE(parsed) << parsed.error;
  const Scenario& s = *parsed.scenario;
  ASSERT_EQ(s.processes.size(), 3u);
  EXPECT_EQ(s.processes[2].id, "helper#3");
  for (const auto& p : s.processes) EXPECT_TRUE(p.start == 120 && p.end == 600) << p.id;
  ASSERT_EQ(s.events.size(), 1u);  // only the load change stays an event
  EXPECT_TRUE(inGroup("helper#3", "helper"));
  EXPECT_FALSE(inGroup("helper3", "helper"));
}

TEST(ScenarioTest, FilesAndEmbeddedScenariosSayWhatIsWrong) {
  EXPECT_EQ(Scenario::load("/nonexistent/x.json").error,
            "/nonexistent/x.json: cannot read the file (no such file)");
  EXPECT_EQ(Scenario::load("/").error, "/: is a folder, not a file");
  const auto dir =
      std::filesystem::temp_directory_path() / ("ebbwise-scenario-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string good = (dir / "good.json").string(), bad = (dir / "bad.json").string();
  std::ofstream(good) << R"({"duration": "2h", "machine": {"chip": 2}})";
  std::ofstream(bad) << R"({"events": [{"at": 1, "type": "warp"}]})";
  auto loaded = Scenario::load(good);
  EXPECT_TRUE(loaded && loaded.scenario->machine.chip == 2) << loaded.error;
  EXPECT_EQ(Scenario::load(bad).error, bad + ": events[0].type: unknown event \"warp\"");
  std::filesystem::remove_all(dir);

  EXPECT_NE(Scenario::embedded("nope").error.find("default"), std::string::npos);
  for (const auto& [name, text] : embeddedScenarios())
    EXPECT_TRUE(Scenario::parse(text, name)) << name << ": " << Scenario::parse(text, name).error;
}

}  // namespace
}  // namespace ebbwise::sim

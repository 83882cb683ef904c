#include "core/process_scanner.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <unordered_set>

#include "support/fake_processes.h"

namespace ebbwise {

void PrintTo(const AppIdentity& identity, std::ostream* out) {
  *out << "{" << identity.name << ", " << identity.bundlePath.value_or("no bundle") << ", "
       << (identity.isDevProcess ? "dev" : "not dev") << "}";
}

namespace {

using testing::FakeProcess;
using testing::FakeProcesses;
using testing::StubEnvironment;

AppIdentity bare(std::string name) {
  return AppIdentity{std::move(name), std::nullopt, false};
}
AppIdentity app(std::string name, std::string bundle) {
  return AppIdentity{std::move(name), std::move(bundle), false};
}
AppIdentity dev(std::string name, std::optional<std::string> bundle = std::nullopt) {
  return AppIdentity{std::move(name), std::move(bundle), true};
}

TEST(AppIdentityFromPath, NamesTheOutermostBundleOrTheFile) {
  struct Case {
    const char* path;
    std::optional<AppIdentity> expected;
  };
  const Case cases[] = {
      {"/Applications/Safari.app/Contents/MacOS/Safari", app("Safari", "/Applications/Safari.app")},
      {"/Applications/Xcode.app/Contents/Developer/Applications/Simulator.app/Contents/MacOS/"
       "Simulator",
       app("Xcode", "/Applications/Xcode.app")},
      {"/Applications/Slack.app/Contents/Frameworks/Slack Helper (GPU).app/Contents/MacOS/"
       "Slack Helper (GPU)",
       app("Slack", "/Applications/Slack.app")},
      {"/Applications/Foo.app/Contents/XPCServices/Bar.xpc/Contents/MacOS/Bar",
       app("Foo", "/Applications/Foo.app")},
      {"/Applications/Foo.app", app("Foo", "/Applications/Foo.app")},
      {"Tool.app/Contents/MacOS/Tool", app("Tool", "Tool.app")},
      {"/Volumes/A//Foo.app/x", app("Foo", "/Volumes/A//Foo.app")},
      // The bundle suffix is case-sensitive, and a bare ".app" folder names nothing.
      {"/Volumes/Data/My.APP/bin/tool", bare("tool")},
      {"/opt/.app/bin/tool", bare("tool")},
      {"/usr/sbin/cfprefsd", bare("cfprefsd")},
      {"launchd", bare("launchd")},
      {"/usr/libexec/example.xpc/Contents/MacOS/example", std::nullopt},
      {"/usr/bin/", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AppIdentity::fromPath(c.path), c.expected) << c.path;
  }
}

TEST(ProcessScannerAllPIDs, KeepsKernelOrderAndDropsNonPositivePids) {
  struct Case {
    const char* name;
    std::vector<sys::Pid> table;
    std::optional<int> countAnswer;
    std::optional<int> listAnswer;
    std::vector<sys::Pid> expected;
  };
  const Case cases[] = {
      {"plain list", {0, 1, 57, 3, -4}, {}, {}, {1, 57, 3}},
      {"no processes", {}, {}, {}, {}},
      {"count fails", {1, 2}, -1, {}, {}},
      {"count is zero", {1, 2}, 0, {}, {}},
      {"fill fails", {1, 2}, {}, -3, {}},
      // Claims past the buffer are clamped to it; the unused zeroed slots drop out.
      {"fill claims more than fits", {1, 2, 3}, {}, 1000, {1, 2, 3}},
      {"fill claims fewer", {1, 2, 3}, {}, 2, {1, 2}},
      {"absurd count", {5, 6}, INT_MAX, {}, {5, 6}},
  };
  for (const auto& c : cases) {
    FakeProcesses processes;
    for (auto pid : c.table) processes.add(FakeProcess{.pid = pid});
    processes.countAnswer = c.countAnswer;
    processes.listAnswer = c.listAnswer;
    EXPECT_EQ(ProcessScanner::allPIDs(processes), c.expected) << c.name;
  }
}

TEST(ProcessScannerAllPIDs, MakesRoomForProcessesStartedBetweenTheCalls) {
  FakeProcesses processes;
  processes.add(FakeProcess{.pid = 10});
  processes.add(FakeProcess{.pid = 11});
  processes.afterCount = [&] {
    for (sys::Pid pid = 20; pid < 30; ++pid) processes.add(FakeProcess{.pid = pid});
  };
  // Two processes counted leave room for four.
  EXPECT_EQ(ProcessScanner::allPIDs(processes), (std::vector<sys::Pid>{10, 11, 20, 21}));
}

TEST(ProcessScannerAllPIDs, NoSecondCallWhenThereIsNothingToList) {
  FakeProcesses processes;
  processes.countAnswer = 0;
  ProcessScanner::allPIDs(processes);
  EXPECT_EQ(processes.listCalls, 1);
}

TEST(ProcessScannerScan, ReadsEachCounterAndSkipsProcessesItCannotRead) {
  FakeProcesses processes;
  processes.add(FakeProcess{.pid = 0, .start = 1, .energyNJ = 999});
  processes.add(FakeProcess{.pid = 1, .start = 100, .energyNJ = 5'000});
  processes.add(FakeProcess{.pid = 57, .start = 200, .energyNJ = 7});
  processes.add(FakeProcess{.pid = 60, .start = 300, .energyNJ = 9, .rusageFails = true});
  processes.add(FakeProcess{.pid = 61, .start = 400, .energyNJ = 1ull << 60});
  // pid 57 exits after the listing, before its counter is read.
  processes.beforeRusage = [&](sys::Pid pid) {
    if (pid == 57) processes.remove(57);
  };

  const auto samples = ProcessScanner::scan(processes);

  EXPECT_EQ(samples, (std::vector<ProcessSample>{{{1, 100}, 5'000}, {{61, 400}, 1ull << 60}}));
  // The hot path lists twice and never looks up a path.
  EXPECT_EQ(processes.listCalls, 2);
  EXPECT_EQ(processes.pathCalls, 0);
}

TEST(ProcessScannerScan, NothingListedGivesNoSamples) {
  FakeProcesses processes;
  processes.add(FakeProcess{.pid = 1});
  processes.countAnswer = -1;
  EXPECT_TRUE(ProcessScanner::scan(processes).empty());
  EXPECT_EQ(processes.rusageCalls, 0);
}

TEST(ProcessKeyTest, AReusedPidIsAnotherProcess) {
  const ProcessKey before{42, 1'000}, after{42, 2'000};
  EXPECT_NE(before, after);
  std::unordered_set<ProcessKey> keys{before, after, ProcessKey{42, 1'000}};
  EXPECT_EQ(keys.size(), 2u);
}

TEST(ProcessScannerPath, ReadsTheBufferAsTextUpToItsFirstNul) {
  using namespace std::string_literals;
  struct Case {
    const char* name;
    std::optional<std::string> raw;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"plain", "/usr/bin/top"s, "/usr/bin/top"s},
      {"stops at NUL", "/usr/bin/top\0garbage"s, "/usr/bin/top"s},
      {"call fails", std::nullopt, std::nullopt},
      {"empty", ""s, std::nullopt},
      {"starts with NUL", "\0/usr/bin/top"s, std::nullopt},
      {"invalid UTF-8", "/tmp/caf\xE9/\xFF\xFEx"s, "/tmp/caf\uFFFD/\uFFFD\uFFFDx"s},
      {"longer than the buffer", std::string(5000, 'a'), std::string(4096, 'a')},
  };
  for (const auto& c : cases) {
    FakeProcesses processes;
    processes.add(FakeProcess{.pid = 7, .path = c.raw});
    EXPECT_EQ(ProcessScanner::path(processes, 7), c.expected) << c.name;
  }
  FakeProcesses none;
  EXPECT_EQ(ProcessScanner::path(none, 7), std::nullopt);
}

// Identity cases: a process table, a home folder and a set of existing files.
struct IdentityCase {
  const char* name;
  std::function<void(FakeProcesses&, StubEnvironment&)> setUp;
  sys::Pid pid;
  AppIdentity expected;
};

constexpr const char* claudeApp = "/Applications/Claude.app";

const IdentityCase identityCases[] = {
    {"an app's process keeps the app",
     [](FakeProcesses& p, StubEnvironment&) {
       p.add({.pid = 50,
              .path = "/Applications/Safari.app/Contents/MacOS/Safari",
              .argv = {{"Safari"}},
              .env = {"TERM_PROGRAM=Apple_Terminal"}});
     },
     50, app("Safari", "/Applications/Safari.app")},
    {"an unreadable path gives the pid",
     [](FakeProcesses& p, StubEnvironment&) { p.add({.pid = 51}); }, 51, bare("pid 51")},
    {"an unknown pid gives the pid", [](FakeProcesses&, StubEnvironment&) {}, 77, bare("pid 77")},
    {"an XPC service is billed to its responsible app",
     [](FakeProcesses& p, StubEnvironment&) {
       p.add({.pid = 60,
              .path = "/usr/libexec/example.xpc/Contents/MacOS/example",
              .responsible = 61});
       p.add({.pid = 61, .path = "/Applications/Mail.app/Contents/MacOS/Mail"});
     },
     60, app("Mail", "/Applications/Mail.app")},
    {"an XPC service responsible for itself keeps its file name",
     [](FakeProcesses& p, StubEnvironment&) {
       p.add({.pid = 60, .path = "/usr/libexec/example.xpc/Contents/MacOS/example"});
     },
     60, bare("example")},
    {"an XPC service whose responsible process is another XPC service",
     [](FakeProcesses& p, StubEnvironment&) {
       p.add({.pid = 60,
              .path = "/usr/libexec/example.xpc/Contents/MacOS/example",
              .responsible = 61});
       p.add({.pid = 61, .path = "/usr/libexec/other.xpc/Contents/MacOS/other"});
     },
     60, bare("example")},
    {"an XPC service whose responsible process is gone",
     [](FakeProcesses& p, StubEnvironment&) {
       p.add({.pid = 60,
              .path = "/usr/libexec/example.xpc/Contents/MacOS/example",
              .responsible = 99});
     },
     60, bare("example")},
    {"a system daemon keeps its file name",
     [](FakeProcesses& p, StubEnvironment&) {
       p.add({.pid = 70, .path = "/usr/sbin/cfprefsd", .argv = {{"/usr/sbin/cfprefsd", "agent"}}});
     },
     70, bare("cfprefsd")},
    {"a daemon whose arguments cannot be read keeps its file name",
     [](FakeProcesses& p, StubEnvironment&) { p.add({.pid = 70, .path = "/usr/sbin/cfprefsd"}); },
     70, bare("cfprefsd")},
    {"a runtime is a dev process even without a launcher",
     [](FakeProcesses& p, StubEnvironment&) {
       p.add({.pid = 80,
              .path = "/usr/local/bin/node",
              .cwd = "/Users/me/webapp",
              .argv = {{"node", "/Users/me/webapp/server.js"}}});
     },
     80, dev("Webapp \u00B7 node server.js")},
    {"a runtime that cannot be inspected keeps its file name",
     [](FakeProcesses& p, StubEnvironment&) { p.add({.pid = 80, .path = "/usr/local/bin/node"}); },
     80, bare("node")},
    {"a runtime's name is matched in any case",
     [](FakeProcesses& p, StubEnvironment&) {
       p.add({.pid = 80,
              .path = "/usr/local/bin/Python3",
              .argv = {{"Python3", "-m", "http.server"}}});
     },
     80, dev("Python3 -m http.server")},
    {"a tool started from a terminal is a dev process",
     [](FakeProcesses& p, StubEnvironment&) {
       p.add({.pid = 81,
              .path = "/usr/bin/make",
              .cwd = "/Users/me/ebb",
              .argv = {{"make", "-j2"}},
              .env = {"TERM_PROGRAM=iTerm.app"}});
     },
     81, dev("Ebb \u00B7 make -j2")},
    {"a controlling terminal counts as a launcher",
     [](FakeProcesses& p, StubEnvironment&) {
       p.add({.pid = 82,
              .path = "/usr/bin/top",
              .bsd = sys::BSDInfo{.parentPid = 300, .terminalDevice = 0x1000003},
              .argv = {{"top"}}});
     },
     82, dev("top")},
    {"no controlling terminal (all ones) is no launcher",
     [](FakeProcesses& p, StubEnvironment&) {
       p.add({.pid = 82,
              .path = "/usr/bin/top",
              .bsd = sys::BSDInfo{.parentPid = 300, .terminalDevice = 0xFFFFFFFF},
              .argv = {{"top"}}});
     },
     82, bare("top")},
    {"an app named after a runtime is inspected",
     [](FakeProcesses& p, StubEnvironment&) {
       p.add({.pid = 90,
              .path = "/Applications/Docker.app/Contents/MacOS/Docker",
              .argv = {{"/Applications/Docker.app/Contents/MacOS/Docker", "--unattended"}}});
     },
     90, dev("Docker --unattended", "/Applications/Docker.app")},
    {"an app started by Claude Code joins the session, with the desktop app's icon",
     [](FakeProcesses& p, StubEnvironment& e) {
       e.files.insert(claudeApp);
       p.add({.pid = 91,
              .path = "/Applications/Foo.app/Contents/MacOS/Foo",
              .cwd = "/Users/me/shop",
              .argv = {{"Foo"}},
              .env = {"CLAUDECODE=1"}});
     },
     91, dev("Claude Code (Shop)", claudeApp)},
    {"without the desktop app the session row keeps the process's bundle",
     [](FakeProcesses& p, StubEnvironment&) {
       p.add({.pid = 91,
              .path = "/Applications/Foo.app/Contents/MacOS/Foo",
              .cwd = "/Users/me/shop",
              .argv = {{"Foo"}},
              .env = {"CLAUDECODE=1"}});
     },
     91, dev("Claude Code (Shop)", "/Applications/Foo.app")},
    {"CLAUDECODE other than 1 does not count",
     [](FakeProcesses& p, StubEnvironment&) {
       p.add({.pid = 91,
              .path = "/Applications/Foo.app/Contents/MacOS/Foo",
              .argv = {{"Foo"}},
              .env = {"CLAUDECODE=true"}});
     },
     91, app("Foo", "/Applications/Foo.app")},
    {"the Claude CLI names its session after its folder",
     [](FakeProcesses& p, StubEnvironment& e) {
       e.files.insert(claudeApp);
       p.add({.pid = 92,
              .path = "/opt/homebrew/bin/claude",
              .cwd = "/Users/me/ebbwise",
              .argv = {{"claude", "--resume"}}});
     },
     92, dev("Claude Code (Ebbwise)", claudeApp)},
    {"a tool run by Claude Code takes the session of the claude process above it",
     [](FakeProcesses& p, StubEnvironment&) {
       p.add({.pid = 40,
              .path = "/opt/homebrew/bin/claude",
              .bsd = sys::BSDInfo{.parentPid = 30},
              .cwd = "/Users/me/notes"});
       p.add({.pid = 41, .path = "/bin/zsh", .bsd = sys::BSDInfo{.parentPid = 40}});
       p.add({.pid = 42,
              .path = "/usr/local/bin/node",
              .bsd = sys::BSDInfo{.parentPid = 41},
              .cwd = "/Users/me/notes/web",
              .argv = {{"node", "build.js"}},
              .env = {"CLAUDECODE=1", "CLAUDE_CODE_ENTRYPOINT=cli"}});
     },
     42, dev("Claude Code (Notes)")},
    {"a Claude Code session in a temporary folder has no project",
     [](FakeProcesses& p, StubEnvironment&) {
       p.add({.pid = 92,
              .path = "/opt/homebrew/bin/claude",
              .cwd = "/tmp/scratch",
              .argv = {{"claude"}}});
     },
     92, dev("Claude Code (no project)")},
    {"this program's own process is its app even when a coding agent started it",
     [](FakeProcesses& p, StubEnvironment&) {
       p.own = 1000;
       p.add({.pid = 1000,
              .path = "/Applications/Ebbwise.app/Contents/MacOS/Ebbwise",
              .argv = {{"Ebbwise"}},
              .env = {"CLAUDECODE=1"}});
     },
     1000, app("Ebbwise", "/Applications/Ebbwise.app")},
    {"an executable path without a file name falls back to the pid",
     [](FakeProcesses& p, StubEnvironment&) { p.add({.pid = 93, .path = "/"}); }, 93,
     bare("pid 93")},
    {"without a home folder the project is the folder's name",
     [](FakeProcesses& p, StubEnvironment& e) {
       e.home.reset();
       p.add({.pid = 80,
              .path = "/usr/local/bin/node",
              .cwd = "/Users/me",
              .argv = {{"node", "x.js"}}});
     },
     80, dev("Me \u00B7 node x.js")},
};

TEST(ProcessScannerIdentity, DecidesTheRowOfEachKindOfProcess) {
  for (const auto& c : identityCases) {
    FakeProcesses processes;
    StubEnvironment environment;
    c.setUp(processes, environment);
    EXPECT_EQ(ProcessScanner::identity(processes, environment, c.pid), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace ebbwise

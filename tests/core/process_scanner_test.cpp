#include "core/process_scanner.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "support/fake_processes.h"

namespace ebbwise {

void PrintTo(const AppIdentity& identity, std::ostream* out) {
  *out << "{" << identity.name << ", " << identity.bundlePath.value_or("no bundle") << ", "
       << (identity.isDevProcess ? "dev" : "not dev") << "}";
}

namespace {

using namespace std::string_literals;
using test::FakeProcess;
using test::FakeProcesses;
using test::StubEnvironment;

AppIdentity bare(std::string name) {
  return {std::move(name), std::nullopt, false};
}
AppIdentity app(std::string name, std::string bundle) {
  return {std::move(name), std::move(bundle), false};
}
AppIdentity dev(std::string name, std::optional<std::string> bundle = std::nullopt) {
  return {std::move(name), std::move(bundle), true};
}

TEST(AppIdentityFromPath, NamesTheOutermostBundleOrTheFile) {
  const std::pair<const char*, std::optional<AppIdentity>> cases[] = {
      {"/Applications/Safari.app/Contents/MacOS/Safari", app("Safari", "/Applications/Safari.app")},
      {"/Applications/Xcode.app/Contents/Developer/Applications/Simulator.app/Contents/MacOS/Sim",
       app("Xcode", "/Applications/Xcode.app")},
      {"/Applications/Foo.app/Contents/XPCServices/B.xpc/Contents/MacOS/B",
       app("Foo", "/Applications/Foo.app")},
      {"Tool.app/Contents/MacOS/Tool", app("Tool", "Tool.app")},
      // The suffix is case-sensitive, and a bare ".app" folder names no app.
      {"/Volumes/Data/My.APP/bin/tool", bare("tool")},
      {"/opt/.app/bin/tool", bare("tool")},
      {"/usr/sbin/cfprefsd", bare("cfprefsd")},
      {"/usr/libexec/example.xpc/Contents/MacOS/example", std::nullopt},
      {"/usr/bin/", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [path, expected] : cases)
    EXPECT_EQ(AppIdentity::fromPath(path), expected) << path;
}

TEST(ProcessScannerAllPIDs, KeepsKernelOrderAndSurvivesOddAnswers) {
  struct Case {
    const char* name;
    std::optional<int> countAnswer, listAnswer;
    std::vector<sys::Pid> expected;
  };
  const Case cases[] = {
      {"plain list, pid 0 and negatives dropped", {}, {}, {1, 57, 3}},
      {"count fails", -1, {}, {}},
      {"count is zero", 0, {}, {}},
      {"fill fails", {}, -3, {}},
      {"fill claims more than fits", {}, 1000, {1, 57, 3}},
      {"absurd count", INT_MAX, {}, {1, 57, 3}},
  };
  for (const auto& c : cases) {
    FakeProcesses processes;
    for (sys::Pid pid : {0, 1, 57, 3, -4}) processes.add({.pid = pid});
    processes.countAnswer = c.countAnswer;
    processes.listAnswer = c.listAnswer;
    EXPECT_EQ(ProcessScanner::allPIDs(processes), c.expected) << c.name;
  }
}

TEST(ProcessScannerAllPIDs, MakesRoomForProcessesStartedBetweenTheCalls) {
  FakeProcesses processes;
  processes.add({.pid = 10});
  processes.add({.pid = 11});
  processes.afterCount = [&] {
    for (sys::Pid pid = 20; pid < 30; ++pid) processes.add({.pid = pid});
  };
  // Two processes counted leave room for four.
  EXPECT_EQ(ProcessScanner::allPIDs(processes), (std::vector<sys::Pid>{10, 11, 20, 21}));
}

TEST(ProcessScannerScan, ReadsEachCounterAndSkipsProcessesItCannotRead) {
  FakeProcesses processes;
  processes.add({.pid = 1, .start = 100, .energyNJ = 5'000});
  processes.add({.pid = 57, .start = 200, .energyNJ = 7});
  processes.add({.pid = 60, .start = 300, .energyNJ = 9, .rusageFails = true});
  processes.add({.pid = 61, .start = 400, .energyNJ = 1ull << 60});
  // pid 57 exits after the listing, before its counter is read.
  processes.beforeRusage = [&](sys::Pid pid) {
    if (pid == 57) processes.remove(57);
  };
  EXPECT_EQ(ProcessScanner::scan(processes),
            (std::vector<ProcessSample>{{{1, 100}, 5'000}, {{61, 400}, 1ull << 60}}));
  EXPECT_EQ(processes.pathCalls, 0);  // the hot path looks up no paths
}

TEST(ProcessScannerPath, ReadsTheBufferAsTextUpToItsFirstNul) {
  const std::pair<std::optional<std::string>, std::optional<std::string>> cases[] = {
      {"/usr/bin/top\0garbage"s, "/usr/bin/top"s},
      {std::nullopt, std::nullopt},
      {"\0/usr/bin/top"s, std::nullopt},
      {"/tmp/caf\xE9/\xFF\xFEx"s, "/tmp/caf\uFFFD/\uFFFD\uFFFDx"s},
      {std::string(5000, 'a'), std::string(4096, 'a')},
  };
  for (const auto& [raw, expected] : cases) {
    FakeProcesses processes;
    processes.add({.pid = 7, .path = raw});
    EXPECT_EQ(ProcessScanner::path(processes, 7), expected) << raw.value_or("absent");
  }
}

constexpr const char* claudeApp = "/Applications/Claude.app";
constexpr const char* xpcPath = "/usr/libexec/example.xpc/Contents/MacOS/example";

struct IdentityCase {
  const char* name;
  std::function<void(FakeProcesses&, StubEnvironment&)> setUp;  // the process asked about is 50
  AppIdentity expected;
};

const IdentityCase identityCases[] = {
    {"an app keeps its row even when started from a terminal",
     [](auto& p, auto&) {
       p.add({.pid = 50,
              .path = "/Applications/Safari.app/Contents/MacOS/Safari",
              .argv = {{"Safari"}},
              .env = {"TERM_PROGRAM=Apple_Terminal"}});
     },
     app("Safari", "/Applications/Safari.app")},
    {"an unreadable path gives the pid", [](auto& p, auto&) { p.add({.pid = 50}); },
     bare("pid 50")},
    {"an XPC service is billed to its responsible app",
     [](auto& p, auto&) {
       p.add({.pid = 50, .path = xpcPath, .responsible = 61});
       p.add({.pid = 61, .path = "/Applications/Mail.app/Contents/MacOS/Mail"});
     },
     app("Mail", "/Applications/Mail.app")},
    {"an XPC service responsible for itself keeps its file name",
     [](auto& p, auto&) { p.add({.pid = 50, .path = xpcPath}); }, bare("example")},
    {"a daemon keeps its file name",
     [](auto& p, auto&) {
       p.add({.pid = 50, .path = "/usr/sbin/cfprefsd", .argv = {{"cfprefsd", "agent"}}});
     },
     bare("cfprefsd")},
    {"a runtime is a dev process even without a launcher",
     [](auto& p, auto&) {
       p.add({.pid = 50,
              .path = "/usr/local/bin/node",
              .cwd = "/Users/me/webapp",
              .argv = {{"node", "/Users/me/webapp/server.js"}}});
     },
     dev("Webapp \u00B7 node server.js")},
    {"a runtime whose arguments cannot be read keeps its file name",
     [](auto& p, auto&) { p.add({.pid = 50, .path = "/usr/local/bin/node"}); }, bare("node")},
    {"a tool with a controlling terminal is a dev process",
     [](auto& p, auto&) {
       p.add({.pid = 50,
              .path = "/usr/bin/top",
              .bsd = sys::BSDInfo{.terminalDevice = 0x1000003},
              .argv = {{"top"}}});
     },
     dev("top")},
    {"an app named after a runtime is inspected",
     [](auto& p, auto&) {
       p.add({.pid = 50,
              .path = "/Applications/Docker.app/Contents/MacOS/Docker",
              .argv = {{"/Applications/Docker.app/Contents/MacOS/Docker", "--unattended"}}});
     },
     dev("Docker --unattended", "/Applications/Docker.app")},
    {"an app started by Claude Code joins the session and borrows the desktop app's icon",
     [](auto& p, auto& e) {
       e.files.insert(claudeApp);
       p.add({.pid = 50,
              .path = "/Applications/Foo.app/Contents/MacOS/Foo",
              .cwd = "/Users/me/shop",
              .argv = {{"Foo"}},
              .env = {"CLAUDECODE=1"}});
     },
     dev("Claude Code (Shop)", claudeApp)},
    {"without the desktop app the session keeps the process's bundle",
     [](auto& p, auto&) {
       p.add({.pid = 50,
              .path = "/Applications/Foo.app/Contents/MacOS/Foo",
              .cwd = "/Users/me/shop",
              .argv = {{"Foo"}},
              .env = {"CLAUDECODE=1"}});
     },
     dev("Claude Code (Shop)", "/Applications/Foo.app")},
    {"a tool run by Claude Code takes the session of the claude process above it",
     [](auto& p, auto&) {
       p.add({.pid = 40,
              .path = "/opt/homebrew/bin/claude",
              .bsd = sys::BSDInfo{.parentPid = 30},
              .cwd = "/Users/me/notes"});
       p.add({.pid = 41, .path = "/bin/zsh", .bsd = sys::BSDInfo{.parentPid = 40}});
       p.add({.pid = 50,
              .path = "/usr/local/bin/node",
              .bsd = sys::BSDInfo{.parentPid = 41},
              .cwd = "/Users/me/notes/web",
              .argv = {{"node", "build.js"}},
              .env = {"CLAUDECODE=1"}});
     },
     dev("Claude Code (Notes)")},
    {"this program is its app even when a coding agent started it",
     [](auto& p, auto&) {
       p.own = 50;
       p.add({.pid = 50,
              .path = "/Applications/Ebbwise.app/Contents/MacOS/Ebbwise",
              .argv = {{"Ebbwise"}},
              .env = {"CLAUDECODE=1"}});
     },
     app("Ebbwise", "/Applications/Ebbwise.app")},
};

TEST(ProcessScannerIdentity, DecidesTheRowOfEachKindOfProcess) {
  for (const auto& c : identityCases) {
    FakeProcesses processes;
    StubEnvironment environment;
    c.setUp(processes, environment);
    EXPECT_EQ(ProcessScanner::identity(processes, environment, 50), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace ebbwise

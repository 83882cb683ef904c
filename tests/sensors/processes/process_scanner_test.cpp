#include "sensors/processes/process_scanner.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/fake_processes.h"
#include "support/stub_environment.h"

namespace ebbwise {

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
      {"/Applications/Xcode.app/Contents/Developer/Applications/Simulator.app/Contents/MacOS/Sim",
       app("Xcode", "/Applications/Xcode.app")},
      {"/Applications/Foo.app/Contents/XPCServices/B.xpc/Contents/MacOS/B",
       app("Foo", "/Applications/Foo.app")},
      {"Tool.app/Contents/MacOS/Tool", app("Tool", "Tool.app")},
      // The suffix is case-sensitive, and a bare ".app" folder names no app.
      {"/Volumes/Data/My.APP/bin/tool", bare("tool")},
      {"/opt/.app/bin/tool", bare("tool")},
      {"/usr/libexec/example.xpc/Contents/MacOS/example", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [path, expected] : cases)
    EXPECT_EQ(AppIdentity::fromPath(path), expected) << path;
}

TEST(ProcessScannerAllPIDs, KeepsKernelOrderAndSurvivesOddAnswers) {
  const std::tuple<const char*, std::optional<int>, std::optional<int>, std::vector<sys::Pid>>
      cases[] = {
          {"plain list, pid 0 and negatives dropped", {}, {}, {1, 57, 3}},
          {"count fails", -1, {}, {}},
          {"count is zero", 0, {}, {}},
          {"fill fails", {}, -3, {}},
          {"fill claims more than fits", {}, 1000, {1, 57, 3}},
          {"absurd count", INT_MAX, {}, {1, 57, 3}},
      };
  for (const auto& [name, count, listed, expected] : cases) {
    FakeProcesses processes;
    for (sys::Pid pid : {0, 1, 57, 3, -4}) processes.add({.pid = pid});
    processes.countAnswer = count;
    processes.listAnswer = listed;
    EXPECT_EQ(ProcessScanner::allPIDs(processes), expected) << name;
  }
}

TEST(ProcessScannerScan, ReadsEachCounterAndSkipsProcessesItCannotRead) {
  FakeProcesses processes;
  processes.add({.pid = 1, .start = 100, .energyNJ = 5'000});
  // pid 60 exited after the listing, or is not ours: its counter cannot be read.
  processes.add({.pid = 60, .start = 300, .energyNJ = 9, .rusageFails = true});
  processes.add({.pid = 61, .start = 400, .energyNJ = 1ull << 60});
  EXPECT_EQ(ProcessScanner::scan(processes),
            (std::vector<ProcessSample>{{{1, 100}, 5'000}, {{61, 400}, 1ull << 60}}));
}

TEST(ProcessScannerPath, ReadsTheBufferAsTextUpToItsFirstNul) {
  const std::pair<std::optional<std::string>, std::optional<std::string>> cases[] = {
      {"/usr/bin/top\0garbage"s, "/usr/bin/top"s},
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

TEST(ProcessScannerIdentity, DecidesTheRowOfEachKindOfProcess) {
  const char* xpc = "/usr/libexec/example.xpc/Contents/MacOS/example";
  const char* node = "/usr/local/bin/node";
  const std::string safari = "/Applications/Safari.app", mail = "/Applications/Mail.app",
                    shop = "/Applications/Shop.app", docker = "/Applications/Docker.app",
                    us = "/Applications/Ebbwise.app";
  auto exe = [](const std::string& bundle) { return bundle + "/Contents/MacOS/main"; };
  const sys::BSDInfo terminal{.terminalDevice = 0x1000003};
  const std::vector<std::string> claude{"CLAUDECODE=1"};
  // The process asked about is 50; the program itself runs as 1000.
  const std::tuple<const char*, std::vector<FakeProcess>, AppIdentity> cases[] = {
      {"an app keeps its row even when started from a terminal",
       {{.pid = 50, .path = exe(safari), .bsd = terminal, .argv = {{"Safari"}}}},
       app("Safari", safari)},
      {"an unreadable path gives the pid", {{.pid = 50}}, bare("pid 50")},
      {"an XPC service is billed to its responsible app",
       {{.pid = 50, .path = xpc, .responsible = 61}, {.pid = 61, .path = exe(mail)}},
       app("Mail", mail)},
      {"a daemon keeps its file name",
       {{.pid = 50, .path = "/usr/sbin/cfprefsd", .argv = {{"cfprefsd", "agent"}}}},
       bare("cfprefsd")},
      {"a runtime is a dev process even without a launcher",
       {{.pid = 50, .path = node, .cwd = "/Users/me/webapp", .argv = {{"node", "server.js"}}}},
       dev("Webapp \u00B7 node server.js")},
      {"a runtime whose arguments cannot be read keeps its file name",
       {{.pid = 50, .path = node}},
       bare("node")},
      {"a tool with a controlling terminal is a dev process",
       {{.pid = 50, .path = "/usr/bin/top", .bsd = terminal, .argv = {{"top"}}}},
       dev("top")},
      {"an app named after a runtime is inspected",
       {{.pid = 50, .path = exe(docker), .argv = {{"Docker", "--unattended"}}}},
       dev("Docker --unattended", docker)},
      {"an app started by Claude Code joins the session and borrows the desktop app's icon",
       {{.pid = 50, .path = exe(shop), .cwd = "/Users/me/shop", .argv = {{"S"}}, .env = claude}},
       dev("Claude Code (Shop)", claudeApp)},
      {"this program is its app even when a coding agent started it",
       {{.pid = 1000, .path = exe(us), .argv = {{"Ebbwise"}}, .env = claude}},
       app("Ebbwise", us)},
  };
  for (const auto& [name, table, expected] : cases) {
    FakeProcesses processes;
    StubEnvironment environment;
    environment.files.insert(claudeApp);
    for (const auto& process : table) processes.add(process);
    EXPECT_EQ(ProcessScanner::identity(processes, environment, table.front().pid), expected)
        << name;
  }
}

}  // namespace
}  // namespace ebbwise

// The kernel's process calls: listing, resource usage, BSD records, the
// argument area, responsibility.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "machine_fixture.h"

namespace ebbwise::sim {
namespace {

using testing::Machine;
using testing::quietScenario;

constexpr const char* kProcesses = R"("processes": [
  {"id": "term", "path": "/bin/term"},
  {"id": "shell", "parent": "term", "tty": true, "path": "/bin/zsh", "args": ["-zsh"], "cwd": "/Users/alex/code"},
  {"id": "node", "parent": "shell", "tty": true, "path": "/opt/bin/node", "args": ["node", "a b"],
   "env": {"TERM_PROGRAM": "vscode"}, "cwd": "/Users/alex/code/webapp", "end": 100},
  {"id": "child", "parent": "node", "path": "/bin/child"},
  {"id": "safari", "path": "/Applications/Safari.app/Contents/MacOS/Safari"},
  {"id": "content", "responsible": "safari", "path": "/usr/libexec/content.xpc/Contents/MacOS/content"},
  {"id": "daemon", "root": true, "path": "/usr/sbin/cfprefsd"},
  {"id": "late", "path": "/usr/bin/late", "start": 50}
])";

class ProcessesTest : public ::testing::Test {
 protected:
  Machine m{quietScenario("", kProcesses)};
  sys::Processes& p = m.procs();
};

TEST_F(ProcessesTest, ArgumentAreaIsLaidOutAsTheKernelDoes) {
  const sys::Pid node = m.pidOf("/opt/bin/node");
  // argc, "/opt/bin/node" and its NUL end at byte 18; NULs pad to 24; then
  // the arguments, the environment, and zeros to a 16-byte boundary.
  std::vector<std::uint8_t> expected = {2, 0, 0, 0};
  auto text = [&](std::string_view s) {
    expected.insert(expected.end(), s.begin(), s.end());
    expected.push_back(0);
  };
  text("/opt/bin/node");
  expected.resize(24, 0);
  text("node");
  text("a b");
  text("TERM_PROGRAM=vscode");
  expected.resize(64, 0);
  ASSERT_EQ(p.procArgsSize(node), expected.size());
  std::vector<std::uint8_t> buffer(expected.size(), 0xAA), small(10, 0xAA);
  ASSERT_EQ(p.procArgs(node, buffer), expected.size());
  EXPECT_EQ(buffer, expected);
  EXPECT_EQ(p.procArgs(node, small), 10u);  // a short buffer gets what fits
  EXPECT_TRUE(std::equal(small.begin(), small.end(), expected.begin()));
  EXPECT_EQ(p.currentDirectory(node), "/Users/alex/code/webapp");
  EXPECT_FALSE(p.executablePath(0));  // the kernel has no executable file
}

// Another user's process gives the monitor its path and responsibility and
// nothing else, unless the monitor runs as root; its energy is then no row's.
TEST(ProcessPrivacyTest, AnotherUsersProcessGivesOnlyItsPathUnlessTheMonitorIsRoot) {
  for (bool privileged : {false, true}) {
    SCOPED_TRACE(privileged ? "as root" : "as the user");
    Machine m{quietScenario(
        std::string("\"platform\": {\"privileged\": ") + (privileged ? "true" : "false") + "}",
        kProcesses)};
    sys::Processes& p = m.procs();
    const sys::Pid daemon = m.pidOf("/usr/sbin/cfprefsd");
    ASSERT_GT(daemon, 1);
    EXPECT_EQ(p.responsiblePid(daemon), daemon);
    std::vector<std::uint8_t> buffer(256);
    for (bool given : {p.rusage(daemon).has_value(), p.bsdInfo(daemon).has_value(),
                       p.procArgsSize(daemon).has_value(), p.procArgs(daemon, buffer).has_value(),
                       p.currentDirectory(daemon).has_value()}) {
      EXPECT_EQ(given, privileged);
    }
    for (const char* path : {"/sbin/launchd",
                             "/System/Library/PrivateFrameworks/SkyLight.framework/"
                             "Versions/A/Resources/WindowServer"}) {
      EXPECT_EQ(p.rusage(m.pidOf(path)).has_value(), privileged) << path;
    }
    const ProcessTruth truth = Machine::truthOf(m.mac->truth(), "/usr/sbin/cfprefsd");
    EXPECT_EQ(truth.billable, privileged);
    EXPECT_EQ(truth.row, privileged ? "cfprefsd" : "");
  }
}

TEST_F(ProcessesTest, ListingIsNewestFirstAndFitsTheBuffer) {
  auto pids = m.pids();
  EXPECT_EQ(pids.back(), 0);
  // Start stamps from the truth: the kernel keeps other users' to itself.
  std::map<sys::Pid, std::uint64_t> started;
  for (const auto& proc : m.mac->truth().processes) {
    if (proc.running) started[proc.pid] = proc.startTicks;
  }
  std::uint64_t previous = UINT64_MAX;
  for (sys::Pid pid : pids) {
    ASSERT_TRUE(started.contains(pid)) << pid;
    EXPECT_LE(started[pid], previous) << pid;
    previous = started[pid];
    if (auto usage = p.rusage(pid)) {
      EXPECT_EQ(usage->procStartAbstime, started[pid]) << pid;
    }
  }
  std::vector<sys::Pid> three(3);
  EXPECT_EQ(p.listAllPids(three), 3);
  EXPECT_EQ(three[0], pids[0]);
  // A process that starts later comes first and takes a higher pid.
  m.advance(60);
  EXPECT_EQ(p.executablePath(m.pids().front()), "/usr/bin/late");
  EXPECT_GT(m.pids().front(), *std::max_element(pids.begin(), pids.end()));
}

TEST_F(ProcessesTest, RecordsTellTerminalsParentsAndResponsibility) {
  const sys::Pid shell = m.pidOf("/bin/zsh"), node = m.pidOf("/opt/bin/node");
  const sys::Pid safari = m.pidOf("/Applications/Safari.app/Contents/MacOS/Safari");
  auto shellInfo = p.bsdInfo(shell), nodeInfo = p.bsdInfo(node), safariInfo = p.bsdInfo(safari);
  ASSERT_TRUE(shellInfo && nodeInfo && safariInfo);
  EXPECT_EQ(nodeInfo->parentPid, shell);
  EXPECT_EQ(p.bsdInfo(m.pidOf("/bin/child"))->parentPid, node);
  EXPECT_EQ(nodeInfo->terminalDevice, shellInfo->terminalDevice);  // the same terminal
  EXPECT_EQ(safariInfo->terminalDevice, 0xFFFFFFFFu);              // none
  EXPECT_EQ(safariInfo->parentPid, 1);
  EXPECT_EQ(p.responsiblePid(m.pidOf("/usr/libexec/content.xpc/Contents/MacOS/content")), safari);
  EXPECT_EQ(p.responsiblePid(safari), safari);
  // The table hands arguments, folder and terminal to the identity rules.
  EXPECT_EQ(m.truthOf(m.mac->truth(), "/opt/bin/node").row, "Webapp \u00B7 node a b");
  EXPECT_EQ(m.truthOf(m.mac->truth(), "/bin/zsh").row, "Code \u00B7 -zsh");

  // Once it ends it answers nothing, and its child belongs to launchd.
  m.advance(120);
  EXPECT_FALSE(p.rusage(node) || p.executablePath(node) || p.bsdInfo(node) ||
               p.currentDirectory(node) || p.procArgsSize(node));
  EXPECT_EQ(p.responsiblePid(node), -1);
  EXPECT_EQ(p.bsdInfo(m.pidOf("/bin/child"))->parentPid, 1);
  EXPECT_FALSE(p.rusage(-3));
}

}  // namespace
}  // namespace ebbwise::sim

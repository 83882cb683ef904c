// The kernel's process calls: listing, resource usage, BSD records, the
// argument area, responsibility.

#include <gtest/gtest.h>

#include <cstring>

#include "machine_fixture.h"
#include "sim/process_table.h"

namespace ebbwise::sim {
namespace {

using testing::Machine;
using testing::quietScenario;

constexpr const char* kProcesses = R"("processes": [
  {"id": "term", "path": "/System/Applications/Utilities/Terminal.app/Contents/MacOS/Terminal"},
  {"id": "shell", "parent": "term", "tty": true, "path": "/bin/zsh", "args": ["-zsh"], "cwd": "/Users/alex/code"},
  {"id": "node", "parent": "shell", "tty": true, "path": "/opt/bin/node", "args": ["node", "a b"],
   "env": {"TERM_PROGRAM": "vscode"}, "cwd": "/Users/alex/code/webapp", "end": 100},
  {"id": "safari", "path": "/Applications/Safari.app/Contents/MacOS/Safari"},
  {"id": "content", "responsible": "safari",
   "path": "/System/Library/Frameworks/WebKit.framework/XPCServices/com.apple.WebKit.WebContent.xpc/Contents/MacOS/com.apple.WebKit.WebContent"},
  {"id": "daemon", "root": true, "path": "/usr/sbin/cfprefsd"},
  {"id": "late", "path": "/usr/bin/late", "start": 50}
])";

class ProcessesTest : public ::testing::Test {
 protected:
  Machine m{quietScenario("", kProcesses)};
  sys::Processes& p = m.mac->processes();
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

  auto size = p.procArgsSize(node);
  ASSERT_EQ(size, expected.size());
  std::vector<std::uint8_t> buffer(*size, 0xAA);
  ASSERT_EQ(p.procArgs(node, buffer), expected.size());
  EXPECT_EQ(buffer, expected);
  // A short buffer gets what fits.
  std::vector<std::uint8_t> small(10, 0xAA);
  EXPECT_EQ(p.procArgs(node, small), 10u);
  EXPECT_TRUE(std::equal(small.begin(), small.end(), expected.begin()));
  // An argument-less process lists its path as argument zero.
  auto bare = ProcessTable::procArgsBuffer("/x", {"/x"}, {});
  EXPECT_EQ(bare.size(), 16u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bare.data()) + 8), "/x");
}

TEST_F(ProcessesTest, OtherUsersProcessesKeepTheirArgumentsAndFolder) {
  const sys::Pid daemon = m.pidOf("/usr/sbin/cfprefsd");
  ASSERT_GT(daemon, 0);
  EXPECT_TRUE(p.rusage(daemon));
  EXPECT_TRUE(p.bsdInfo(daemon));
  EXPECT_FALSE(p.procArgsSize(daemon));
  std::vector<std::uint8_t> buffer(64);
  EXPECT_FALSE(p.procArgs(daemon, buffer));
  EXPECT_FALSE(p.currentDirectory(daemon));
  EXPECT_EQ(p.currentDirectory(m.pidOf("/opt/bin/node")), "/Users/alex/code/webapp");
  // The kernel has no executable file.
  EXPECT_FALSE(p.executablePath(0));
  EXPECT_TRUE(p.rusage(0));
}

TEST_F(ProcessesTest, ListingIsNewestFirstAndFitsTheBuffer) {
  auto pids = m.pids();
  ASSERT_GE(pids.size(), 10u);
  EXPECT_EQ(pids.back(), 0);
  EXPECT_EQ(pids[pids.size() - 2], 1);
  std::uint64_t previous = UINT64_MAX;
  for (sys::Pid pid : pids) {
    auto r = p.rusage(pid);
    ASSERT_TRUE(r) << pid;
    EXPECT_LE(r->procStartAbstime, previous) << pid;
    previous = r->procStartAbstime;
  }
  std::vector<sys::Pid> three(3);
  EXPECT_EQ(p.listAllPids(three), 3);
  EXPECT_EQ(three[0], pids[0]);
  EXPECT_EQ(p.listAllPids({}), static_cast<int>(pids.size()));

  // A process that starts later comes first and takes a higher pid.
  m.advance(60);
  auto now = m.pids();
  EXPECT_EQ(p.executablePath(now.front()), "/usr/bin/late");
  for (sys::Pid pid : pids) {
    if (pid > 1) {
      EXPECT_GT(now.front(), pid);
    }
  }
}

TEST_F(ProcessesTest, BSDRecordsTellTerminalsParentsAndStarts) {
  const sys::Pid shell = m.pidOf("/bin/zsh");
  const sys::Pid node = m.pidOf("/opt/bin/node");
  const sys::Pid safari = m.pidOf("/Applications/Safari.app/Contents/MacOS/Safari");
  auto shellInfo = p.bsdInfo(shell), nodeInfo = p.bsdInfo(node), safariInfo = p.bsdInfo(safari);
  ASSERT_TRUE(shellInfo && nodeInfo && safariInfo);
  EXPECT_EQ(nodeInfo->parentPid, shell);
  EXPECT_EQ(shellInfo->terminalDevice, 0x10000000u);
  EXPECT_EQ(nodeInfo->terminalDevice, shellInfo->terminalDevice);  // the same terminal
  EXPECT_EQ(safariInfo->terminalDevice, 0xFFFFFFFFu);              // none
  EXPECT_EQ(safariInfo->parentPid, 1);
  EXPECT_LT(shellInfo->startSeconds, m.mac->startDate().secondsSince1970);
  EXPECT_LT(shellInfo->startMicroseconds, 1000000u);

  // When its parent ends, a process belongs to launchd.
  Machine orphan(quietScenario("", R"("processes": [
    {"id": "parent", "path": "/bin/parent", "end": 30},
    {"id": "child", "parent": "parent", "path": "/bin/child"}])"));
  const sys::Pid child = orphan.pidOf("/bin/child");
  EXPECT_EQ(orphan.mac->processes().bsdInfo(child)->parentPid, orphan.pidOf("/bin/parent"));
  orphan.advance(60);
  EXPECT_EQ(orphan.mac->processes().bsdInfo(child)->parentPid, 1);
}

TEST_F(ProcessesTest, GoneProcessesAnswerNothing) {
  const sys::Pid node = m.pidOf("/opt/bin/node");
  m.advance(120);
  EXPECT_FALSE(p.rusage(node));
  EXPECT_FALSE(p.executablePath(node));
  EXPECT_FALSE(p.bsdInfo(node));
  EXPECT_FALSE(p.currentDirectory(node));
  EXPECT_FALSE(p.procArgsSize(node));
  EXPECT_EQ(p.responsiblePid(node), -1);
  EXPECT_FALSE(p.rusage(-3));
  EXPECT_FALSE(p.rusage(1 << 30));
}

TEST_F(ProcessesTest, ResponsibilityAndOwnProcess) {
  const sys::Pid safari = m.pidOf("/Applications/Safari.app/Contents/MacOS/Safari");
  const sys::Pid content = m.pidOf(
      "/System/Library/Frameworks/WebKit.framework/XPCServices/com.apple.WebKit.WebContent.xpc/"
      "Contents/MacOS/com.apple.WebKit.WebContent");
  EXPECT_EQ(p.responsiblePid(content), safari);
  EXPECT_EQ(p.responsiblePid(safari), safari);
  EXPECT_EQ(p.executablePath(p.ownPid()), "/Applications/Ebbwise.app/Contents/MacOS/Ebbwise");
  // Expected rows for the identity rules.
  const TruthSnapshot t = m.mac->truth();
  EXPECT_EQ(m.truthOf(t,
                      "/System/Library/Frameworks/WebKit.framework/XPCServices/"
                      "com.apple.WebKit.WebContent.xpc/"
                      "Contents/MacOS/com.apple.WebKit.WebContent")
                ->row,
            "Safari");
  EXPECT_EQ(m.truthOf(t, "/opt/bin/node")->row, "Webapp \u00B7 node a b");
  EXPECT_EQ(m.truthOf(t, "/bin/zsh")->row, "Code \u00B7 -zsh");
  EXPECT_EQ(m.truthOf(t, "/usr/sbin/cfprefsd")->row, "cfprefsd");
}

}  // namespace
}  // namespace ebbwise::sim

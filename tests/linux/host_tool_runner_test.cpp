#include "linux/host_tool_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "linux/sysfs_file.h"

namespace ebbwise::linux_host {
namespace {

std::optional<sys::ToolRun> run(HostToolRunner& runner, std::string_view path,
                                std::vector<std::string> arguments) {
  return runner.run(path, arguments);
}

std::optional<sys::ToolRun> shell(HostToolRunner& runner, std::string script) {
  return run(runner, "/bin/sh", {"-c", std::move(script)});
}

std::size_t openDescriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++n;
  }
  return n;
}

// This process's children, running or not yet reaped, from /proc: other
// tests of the program may keep servers of their own running meanwhile.
std::set<pid_t> children() {
  std::set<pid_t> out;
  const std::string self = std::to_string(::getpid());
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // The fields after the command name, which may hold spaces and parentheses.
    const auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 1));
    std::string state, parent;
    rest >> state >> parent;
    if (parent == self) out.insert(static_cast<pid_t>(std::stol(entry.path().filename())));
  }
  return out;
}

// Every run reaps its child: no child is left that was not there before the
// test began.
void expectNoChildren(const std::set<pid_t>& before) {
  for (pid_t pid : children()) EXPECT_TRUE(before.contains(pid)) << "child " << pid << " left";
}

TEST(HostToolRunner, ReportsOutputAndExitStatusOfRealPrograms) {
  const std::set<pid_t> childrenBefore = children();
  HostToolRunner runner;
  struct Case {
    const char* what;
    std::string path;
    std::vector<std::string> arguments;
    std::string output;
    int status;
  };
  const std::vector<Case> cases = {
      // No shell between us and the program: nothing is expanded or split.
      {"a known report", "/bin/echo", {"$HOME", "two words", "*"}, "$HOME two words *\n", 0},
      {"standard error only", "/bin/sh", {"-c", "echo oops >&2"}, "", 0},
      {"a non-zero exit", "/bin/sh", {"-c", "echo partial; exit 3"}, "partial\n", 3},
      // The output ends long before the program does; the run waits for both.
      {"output closed early",
       "/bin/sh",
       {"-c", "echo early; exec >&-; sleep 0.3; exit 4"},
       "early\n",
       4},
  };
  for (const Case& c : cases) {
    const auto result = runner.run(c.path, c.arguments);
    ASSERT_TRUE(result) << c.what;
    EXPECT_EQ(result->output, c.output) << c.what;
    EXPECT_EQ(result->exitStatus, c.status) << c.what;
    EXPECT_FALSE(result->timedOut) << c.what;
    EXPECT_FALSE(result->outputTruncated) << c.what;
  }
  expectNoChildren(childrenBefore);
}

TEST(HostToolRunner, ProgramsThatCannotStartGiveNothing) {
  const std::set<pid_t> childrenBefore = children();
  HostToolRunner runner;
  EXPECT_FALSE(run(runner, "/nonexistent/system_profiler", {}));
  EXPECT_FALSE(run(runner, "sh", {"-c", "true"})) << "a relative path is never searched";
  EXPECT_FALSE(run(runner, "/tmp", {})) << "a folder";
  EXPECT_FALSE(run(runner, "/etc/hostname", {})) << "not executable";
  EXPECT_FALSE(run(runner, "/bin/echo", {std::string("a\0b", 3)})) << "NUL in an argument";
  expectNoChildren(childrenBefore);
}

TEST(HostToolRunner, ReadsSeveralMebibytesWithoutBlocking) {
  const std::set<pid_t> childrenBefore = children();
  HostToolRunner runner;
  const auto result = run(runner, "/usr/bin/head", {"-c", "8388608", "/dev/zero"});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->output.size(), 8u << 20);
  EXPECT_EQ(result->exitStatus, 0);
  expectNoChildren(childrenBefore);
}

TEST(HostToolRunner, KillsAToolThatOutlivesItsTimeLimitWithItsHelpers) {
  const std::set<pid_t> childrenBefore = children();
  HostToolRunner runner(HostToolRunner::Limits{.timeoutSeconds = 0.3});
  const auto hung = run(runner, "/bin/sleep", {"30"});
  ASSERT_TRUE(hung);
  EXPECT_TRUE(hung->timedOut);
  EXPECT_EQ(hung->exitStatus, std::nullopt);

  // The tool exits at once but leaves a helper holding its output open.
  const auto left = shell(runner, "sleep 30 & echo $!");
  ASSERT_TRUE(left);
  EXPECT_TRUE(left->timedOut);
  const std::string helper = left->output.substr(0, left->output.find('\n'));
  ASSERT_FALSE(helper.empty());
  // The helper was killed: it goes away (or stays a zombie of its new parent)
  // as soon as the kernel has delivered the signal.
  std::optional<std::string> state;
  for (int i = 0; i < 200; ++i) {
    state = SysfsFile::read("/proc/" + helper + "/stat");
    if (!state || state->find(") Z") != std::string::npos) break;
    ::usleep(10'000);
  }
  if (state) {
    EXPECT_NE(state->find(") Z"), std::string::npos) << *state;
  }
  expectNoChildren(childrenBefore);
}

TEST(HostToolRunner, StopsAToolThatWritesMoreThanTheLimit) {
  const std::set<pid_t> childrenBefore = children();
  HostToolRunner runner(HostToolRunner::Limits{.maxOutputBytes = 1000});
  const auto result = run(runner, "/usr/bin/head", {"-c", "10000000", "/dev/zero"});
  ASSERT_TRUE(result);
  EXPECT_TRUE(result->outputTruncated);
  EXPECT_EQ(result->output.size(), 1000u);
  expectNoChildren(childrenBefore);
}

TEST(HostToolRunner, TheToolGetsNoDescriptorsOrSignalSettingsOfOurs) {
  HostToolRunner runner;
  // A descriptor some library opened without close-on-exec, and SIGPIPE
  // ignored as network code often has it.
  const std::size_t before = openDescriptors();
  const int leaky = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(leaky, 0);
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &previous);

  const auto descriptors = shell(runner, "ls /proc/$$/fd");
  // Read with built-ins only: a shell that forks blocks its signals meanwhile.
  const auto signals = shell(runner,
                             "while read -r k v; do case $k in SigBlk:|SigIgn:) echo $k $v;; "
                             "esac; done < /proc/$$/status");
  const auto sigpipe = shell(runner, "yes | head -c 1; echo; echo after");

  ::sigaction(SIGPIPE, &previous, nullptr);
  ::close(leaky);
  ASSERT_TRUE(descriptors && signals);
  EXPECT_EQ(descriptors->output, "0\n1\n2\n");
  // None of the classic signals is blocked or ignored. (The C library keeps
  // the two above them, which it uses itself, as it found them.)
  unsigned long long blocked = ~0ull, ignored = ~0ull;
  ASSERT_EQ(std::sscanf(signals->output.c_str(), "SigBlk: %llx SigIgn: %llx", &blocked, &ignored),
            2)
      << signals->output;
  EXPECT_EQ(blocked, 0u);
  EXPECT_EQ(ignored & 0x7FFFFFFFu, 0u) << signals->output;
  // A pipe reader that leaves early ends its writer, as SIGPIPE should.
  ASSERT_TRUE(sigpipe);
  EXPECT_EQ(sigpipe->output, "y\nafter\n");
  EXPECT_EQ(openDescriptors(), before) << "the run leaked a descriptor of its own";
}

TEST(HostToolRunner, InterruptedWaitsCarryOn) {
  // A signal every millisecond interrupts every wait the run makes.
  struct sigaction tick {
  }, previous{};
  tick.sa_handler = [](int) {};
  ::sigaction(SIGALRM, &tick, &previous);
  itimerval often{{0, 1000}, {0, 1000}};
  itimerval off{};
  ::setitimer(ITIMER_REAL, &often, nullptr);

  HostToolRunner runner;
  const auto result = shell(runner, "sleep 0.2; echo done");

  ::setitimer(ITIMER_REAL, &off, nullptr);
  ::sigaction(SIGALRM, &previous, nullptr);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->output, "done\n");
  EXPECT_EQ(result->exitStatus, 0);
}

}  // namespace
}  // namespace ebbwise::linux_host

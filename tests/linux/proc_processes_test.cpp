#include "linux/proc_processes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "linux/fixture_tree.h"
#include "linux/proc_status.h"
#include "linux/process_energy_ledger.h"
#include "linux/system_clock.h"
#include "sensors/processes/process_inspector.h"
#include "sensors/processes/process_scanner.h"
#include "support/stub_environment.h"

extern char** environ;

namespace ebbwise::linux_host {
namespace {

using test::FixtureTree;
using ::testing::Contains;
using ::testing::ElementsAre;

constexpr Credentials kAna{1000, 1000};
constexpr std::uint64_t kSecond = 1'000'000'000;

std::map<sys::Pid, ProcessSample> scanByPid(sys::Processes& processes) {
  std::map<sys::Pid, ProcessSample> samples;
  for (const ProcessSample& s : ProcessScanner::scan(processes)) samples[s.key.pid] = s;
  return samples;
}

std::vector<std::string> arguments(sys::Processes& processes, sys::Pid pid) {
  const auto commandLine = ProcessInspector::commandLine(processes, pid);
  return commandLine ? commandLine->arguments : std::vector<std::string>{};
}

TEST(ProcStat, ParsesTheKernelsLine) {
  const auto weird = ProcStat::parse(
      "4242 (my (odd) prog) S 1500 4242 4242 34817 -1 4194560 0 0 0 0 250 50 0 0 20 0 1 0 "
      "1200200 123 45 0 0 0\n");
  ASSERT_TRUE(weird);
  EXPECT_EQ(weird->parentPid, 1500);
  EXPECT_EQ(weird->terminal, 34817);
  EXPECT_EQ(weird->cpuTicks(), 300u);
  EXPECT_EQ(weird->startTicks, 1200200u);
  EXPECT_FALSE(weird->isKernelThread());
  for (const char* bad : {"", "4242 (sleep", "4242 (sleep) S 1500 4242", "garbage",
                          "4242 (sleep) S x 1 1 0 -1 0 0 0 0 0 1 1 0 0 20 0 1 0 99 1 1",
                          "4242 (sleep) S 1 1 1 0 -1 0 0 0 0 0 1 1 0 0 20 0 1 0 "
                          "99999999999999999999999 1 1"}) {
    EXPECT_FALSE(ProcStat::parse(bad)) << bad;
  }
}

TEST(ProcStatus, ReadsTheRealUidAndRefusesAnythingElse) {
  EXPECT_EQ(ProcStatus::realUid("Name:\tbash\nUid:\t1000\t0\t0\t0\nGid:\t1000\n"), 1000u);
  EXPECT_EQ(ProcStatus::realUid("Uid:\t0\t0\t0\t0"), 0u) << "first line, no newline";
  EXPECT_EQ(ProcStatus::realUid("Uid:   65534 65534 65534 65534\n"), 65534u);
  for (const char* bad : {"", "Name:\tbash\n", "Uid:\n1000\t1000\n", "Uid:\t\n",
                          "Uid:\t-1\t0\t0\t0\n", "Uid:\t1000x\t0\n", "Uid:\t4294967296\t0\n",
                          "Uid:\t4294967295\t0\n", "Name:\tUid: 7\nUid:x\n", "XUid:\t1000\n"}) {
    EXPECT_FALSE(ProcStatus::realUid(bad)) << bad;
  }
}

TEST(ProcessEnergyLedger, SharesTheProcessorsEnergyByCpuTimeAndNeverGoesBack) {
  ProcessEnergyLedger ledger;
  const std::vector<std::int32_t> both = {10, 20};
  ledger.beginInterval(1'000'000, 1000, 100 * kSecond, both);
  EXPECT_EQ(ledger.account(10, 5 * kSecond, 400), 0u) << "no rate is known before";
  EXPECT_EQ(ledger.account(20, 50 * kSecond, 100), 0u);

  // 6 J over 600 busy ticks: 10 mJ a tick.
  ledger.beginInterval(7'000'000, 1600, 105 * kSecond, both);
  EXPECT_EQ(ledger.account(10, 5 * kSecond, 600), 2'000'000'000u);
  // A count that goes back is a new base, never a negative share.
  EXPECT_EQ(ledger.account(20, 50 * kSecond, 50), 0u);

  // The counter went back (a reset): nothing is shared this time.
  ledger.beginInterval(1'000, 2200, 110 * kSecond, both);
  EXPECT_EQ(ledger.account(10, 5 * kSecond, 900), 2'000'000'000u);

  // Pid 20 reused by a process started in this interval: billed from zero,
  // but never more than the whole machine's busy time.
  ledger.beginInterval(2'001'000, 2300, 115 * kSecond, both);
  EXPECT_EQ(ledger.account(20, 112 * kSecond, 5000), 2'000'000'000u);
  EXPECT_EQ(ledger.account(10, 5 * kSecond, 900), 2'000'000'000u);
}

TEST(ProcProcesses, ReadsALaptopsProcessTree) {
  FixtureTree proc("proc/laptop");
  ProcProcesses processes(proc.root(), nullptr, {.credentials = kAna, .ticksPerSecond = 100});

  // Every process but the kernel's own threads.
  const auto samples = scanByPid(processes);
  std::vector<sys::Pid> pids;
  for (const auto& [pid, sample] : samples) pids.push_back(pid);
  EXPECT_THAT(pids, ElementsAre(1, 812, 1500, 2301, 4242));
  EXPECT_EQ(samples.at(4242).key.start, 11000 * kSecond);

  // The user's own process: everything, in the platform's shapes.
  EXPECT_EQ(processes.executablePath(2301), "/usr/bin/python3.11");
  EXPECT_THAT(arguments(processes, 2301), ElementsAre("python3", "-m", "http.server", "8000"));
  const auto commandLine = ProcessInspector::commandLine(processes, 2301);
  EXPECT_EQ(commandLine->variable("TERM_PROGRAM"), "vscode");
  EXPECT_EQ(ProcessInspector::workingFolder(processes, 2301), "/home/ana/src/site");
  const auto info = processes.bsdInfo(2301);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->parentPid, 1500);
  EXPECT_EQ(info->terminalDevice, 34817u);
  EXPECT_EQ(info->startSeconds, 1760000000u + 9000);

  // Root's daemon: its name from its command line, nothing private.
  EXPECT_EQ(processes.executablePath(812), "/usr/sbin/cupsd");
  EXPECT_FALSE(processes.procArgsSize(812));
  EXPECT_FALSE(processes.currentDirectory(812));
  test::StubEnvironment environment;
  EXPECT_EQ(ProcessScanner::identity(processes, environment, 812).name, "cupsd");
  EXPECT_EQ(processes.responsiblePid(812), 812);
  EXPECT_EQ(processes.responsiblePid(9999), -1);

  // Whose each process is, and whose this program is: the stopper's guard.
  EXPECT_EQ(processes.ownUid(), 1000u);
  EXPECT_EQ(processes.bsdInfo(2301)->uid, 1000u);
  EXPECT_EQ(processes.bsdInfo(812)->uid, 0u);

  // Signals never leave for the real processes that share a copied tree's pids.
  EXPECT_FALSE(processes.kill(4242, 0));
  EXPECT_FALSE(processes.killStarted(4242, 11000 * kSecond, 0));
}

TEST(ProcProcesses, AReusedPidIsANewProcessAndEnergyFollowsCpuTime) {
  FixtureTree sys("sys/rapl");
  FixtureTree proc("proc/laptop");
  RaplCounters counters(sys.root(), kAna, Notice{});
  ProcProcesses processes(proc.root(), &counters, {.credentials = kAna, .ticksPerSecond = 100});
  const auto first = scanByPid(processes);

  // Five seconds on: 6 J went into the cores over 600 busy ticks; python used
  // 200 ticks, and pid 4242 is now a node server that used 300 since it started.
  proc.replaceWith("proc/laptop-later");
  sys.write("class/powercap/intel-rapl:0:0/energy_uj", std::to_string(58123001234 + 6'000'000));
  const auto later = scanByPid(processes);

  EXPECT_NE(later.at(4242).key, first.at(4242).key);
  EXPECT_EQ(later.at(4242).key.start, 12002 * kSecond);
  EXPECT_EQ(later.at(4242).energyNJ, 3'000'000'000u);
  EXPECT_EQ(later.at(2301).key, first.at(2301).key);
  EXPECT_EQ(later.at(2301).energyNJ - first.at(2301).energyNJ, 2'000'000'000u);
  EXPECT_EQ(later.at(1500).energyNJ, first.at(1500).energyNJ);
  EXPECT_EQ(processes.executablePath(4242), "/usr/bin/node");
}

TEST(ProcProcesses, OddProcessesReadAsAbsentNeverAsGarbage) {
  FixtureTree proc("proc/laptop");
  ProcProcesses processes(proc.root(), nullptr, {.credentials = kAna, .ticksPerSecond = 100});
  sys::Pid listed[16];
  ASSERT_EQ(processes.listAllPids(listed), 6);

  // Gone between the listing and the read.
  std::filesystem::remove_all(proc.path("2301"));
  EXPECT_FALSE(processes.rusage(2301));
  EXPECT_FALSE(processes.executablePath(2301));
  EXPECT_FALSE(processes.procArgsSize(2301));
  EXPECT_FALSE(processes.bsdInfo(2301));

  // A stat line cut short.
  proc.write("4242/stat", "4242 (sleep) S 1500 4242");
  EXPECT_FALSE(processes.rusage(4242));

  // A command line rewritten as one text, without NULs.
  proc.write("1500/cmdline", "bash: a title set by the program itself");
  EXPECT_THAT(arguments(processes, 1500), ElementsAre("bash: a title set by the program itself"));

  // A huge command line is cut, not refused.
  proc.write("1500/cmdline", std::string(5u << 20, 'a') + '\0' + "tail");
  const auto huge = arguments(processes, 1500);
  ASSERT_EQ(huge.size(), 1u);
  EXPECT_EQ(huge[0].size(), ProcProcesses::kMaxArgumentBytes);

  // A path that is not UTF-8 arrives as its bytes; the scanner decodes it.
  std::filesystem::remove(proc.path("1500/exe"));
  std::filesystem::create_symlink("/home/ana/bin/caf\xE9", proc.path("1500/exe"));
  EXPECT_EQ(processes.executablePath(1500), "/home/ana/bin/caf\xE9");
  EXPECT_EQ(ProcessScanner::path(processes, 1500), "/home/ana/bin/caf\uFFFD");

  // A program replaced on disk while it runs keeps its path.
  std::filesystem::remove(proc.path("1500/exe"));
  std::filesystem::create_symlink("/usr/bin/bash (deleted)", proc.path("1500/exe"));
  EXPECT_EQ(processes.executablePath(1500), "/usr/bin/bash");

  // A status without its uid line: the folder's owner tells whose it is,
  // and the process is private unless that is us.
  proc.write("1500/status", "Name:\tbash\nUid:\tgarbled\n");
  const auto info = processes.bsdInfo(1500);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->uid, ::geteuid());
  EXPECT_EQ(processes.currentDirectory(1500).has_value(), ::geteuid() == kAna.uid);

  // A zombie's arguments are gone.
  proc.write("1500/cmdline", "");
  EXPECT_FALSE(ProcessInspector::commandLine(processes, 1500));
}

// A child of the test itself, ended and reaped when the test ends.
class Child {
 public:
  explicit Child(std::vector<std::string> argv) {
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    if (::posix_spawn(&pid_, raw[0], nullptr, nullptr, raw.data(), environ) != 0) pid_ = -1;
  }
  ~Child() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      wait();
    }
  }
  pid_t pid() const { return pid_; }
  int wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    reaped_ = true;
    return status;
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

TEST(ProcProcesses, ListsThisMachinesOwnProcessesWithTheirStartAndCommandLine) {
  SystemClock clock;
  ProcProcesses processes("/proc", nullptr);
  const std::uint64_t before = clock.monotonicTicks();
  Child child({"/bin/sleep", "29", "1.5"});  // GNU sleep adds them up
  ASSERT_GT(child.pid(), 0);
  // Wait for the child to become the program it runs.
  for (int i = 0; i < 500 && processes.executablePath(child.pid()) != "/usr/bin/sleep"; ++i) {
    ::usleep(2000);
  }
  const std::uint64_t after = clock.monotonicTicks();

  std::vector<sys::Pid> pids = ProcessScanner::allPIDs(processes);
  EXPECT_THAT(pids, Contains(::getpid()));
  EXPECT_THAT(pids, Contains(child.pid()));
  const auto samples = scanByPid(processes);
  ASSERT_TRUE(samples.count(child.pid()));
  // The start time is in the clock's ticks, to the kernel's 10 ms resolution.
  const std::uint64_t start = samples.at(child.pid()).key.start;
  EXPECT_GE(start + kSecond / 100, before);
  EXPECT_LE(start, after);
  EXPECT_THAT(arguments(processes, child.pid()), ElementsAre("/bin/sleep", "29", "1.5"));
  EXPECT_EQ(processes.executablePath(child.pid()), "/usr/bin/sleep");
  const auto own = arguments(processes, ::getpid());
  ASSERT_FALSE(own.empty());
  EXPECT_THAT(own[0], ::testing::EndsWith("ebbwise_linux_tests"));
  EXPECT_EQ(processes.bsdInfo(child.pid())->parentPid, ::getpid());
  EXPECT_EQ(processes.bsdInfo(child.pid())->uid, ::getuid());
  EXPECT_EQ(processes.bsdInfo(::getpid())->uid, ::getuid());
  EXPECT_EQ(processes.ownUid(), ::getuid());

  // A stale start time (the pid now someone else's) is never signalled.
  EXPECT_FALSE(processes.killStarted(child.pid(), start + 1, SIGTERM));
  EXPECT_TRUE(processes.killStarted(child.pid(), start, 0));
  EXPECT_TRUE(processes.killStarted(child.pid(), start, SIGTERM));
  const int status = child.wait();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  // Gone once reaped, though its stat file was held open since the scan.
  EXPECT_FALSE(processes.rusage(child.pid()));
  EXPECT_FALSE(processes.bsdInfo(child.pid()));
  EXPECT_FALSE(processes.kill(0, 0)) << "0 would be this whole process group";
  EXPECT_FALSE(processes.kill(-1, 0)) << "-1 would be every process there is";
}

}  // namespace
}  // namespace ebbwise::linux_host

// One tick's process reads through the procfs provider, against the bare
// cost of reading the same /proc files without parsing them, on this machine
// with at least 600 processes running (kernel threads aside); prints the
// ratio of the two, measured in turns.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "linux/proc_processes.h"
#include "sensors/processes/process_scanner.h"

extern char** environ;

namespace {

using namespace ebbwise;

constexpr int kProcesses = 600;

// Processes as a tick sees them: the kernel's own threads are not listed.
int countProcesses() {
  linux_host::ProcProcesses processes("/proc", nullptr);
  return static_cast<int>(ProcessScanner::scan(processes).size());
}

// Sleeping children that bring the machine up to kProcesses, ended at exit.
class Sleepers {
 public:
  Sleepers() {
    char* argv[] = {const_cast<char*>("/bin/sleep"), const_cast<char*>("3600"), nullptr};
    for (int missing = kProcesses - countProcesses(); missing > 0; --missing) {
      pid_t pid = 0;
      if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) break;
      pids_.push_back(pid);
    }
  }
  ~Sleepers() {
    for (pid_t pid : pids_) ::kill(pid, SIGKILL);
    for (pid_t pid : pids_) ::waitpid(pid, nullptr, 0);
  }

 private:
  std::vector<pid_t> pids_;
};

void readWhole(const char* path, std::vector<char>& buffer) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  while (::read(fd, buffer.data(), buffer.size()) > 0) {
  }
  ::close(fd);
}

// The same files a tick reads: the listing, the machine's busy time and
// uptime, and each process's stat line.
int bareReads(std::vector<char>& buffer) {
  char path[300];
  readWhole("/proc/stat", buffer);
  readWhole("/proc/uptime", buffer);
  DIR* dir = ::opendir("/proc");
  int n = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    std::snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
    readWhole(path, buffer);
    ++n;
  }
  ::closedir(dir);
  return n;
}

void BM_BareProcReads(benchmark::State& state) {
  std::vector<char> buffer(64 * 1024);
  for (auto _ : state) benchmark::DoNotOptimize(bareReads(buffer));
}

void BM_ProviderTick(benchmark::State& state) {
  linux_host::ProcProcesses processes("/proc", nullptr);
  std::size_t n = 0;
  for (auto _ : state) {
    auto samples = ProcessScanner::scan(processes);
    n = samples.size();
    benchmark::DoNotOptimize(samples.data());
  }
  state.counters["processes"] = static_cast<double>(n);
}

// The two ticks one after the other, many times over, in turns: other work
// on a shared machine then slows both alike. The median of the rounds' ratios.
double alternatedRatio(int rounds) {
  using Clock = std::chrono::steady_clock;
  linux_host::ProcProcesses processes("/proc", nullptr);
  std::vector<char> buffer(64 * 1024);
  std::vector<double> ratios;
  for (int round = 0; round < rounds; ++round) {
    double bare = 0, provider = 0;
    for (int turn = 0; turn < 2; ++turn) {
      const auto start = Clock::now();
      if ((turn + round) % 2 == 0) {
        benchmark::DoNotOptimize(bareReads(buffer));
        bare = std::chrono::duration<double>(Clock::now() - start).count();
      } else {
        benchmark::DoNotOptimize(ProcessScanner::scan(processes).size());
        provider = std::chrono::duration<double>(Clock::now() - start).count();
      }
    }
    ratios.push_back(provider / bare);
  }
  std::nth_element(ratios.begin(), ratios.begin() + rounds / 2, ratios.end());
  return ratios[static_cast<std::size_t>(rounds / 2)];
}

BENCHMARK(BM_BareProcReads);
BENCHMARK(BM_ProviderTick);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Sleepers sleepers;
  std::printf("processes running: %d\n", countProcesses());
  benchmark::RunSpecifiedBenchmarks();
  std::printf(
      "provider tick / bare reads = %.3f (median of 201 alternated rounds; target <= 1.2)\n",
      alternatedRatio(201));
  benchmark::Shutdown();
  return 0;
}

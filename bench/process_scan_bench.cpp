// The per-tick process scan over a machine's worth of processes, and the
// one-off identity work the tracker caches per process.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "sensors/processes/process_scanner.h"

using namespace std::string_literals;

namespace {

using namespace ebbwise;

// A kernel with `count` processes whose counters and argument areas never change.
class SteadyProcesses final : public sys::Processes {
 public:
  explicit SteadyProcesses(int count) : count_(count) {
    const std::string strings =
        "/usr/local/bin/node\0\0\0\0\0node\0/Users/me/web/server.js\0"
        "--port\0"
        "3000\0PATH=/usr/bin\0TERM_PROGRAM=vscode\0\0\0\0"s;
    const std::int32_t argc = 4;
    area_.resize(sizeof argc);
    std::memcpy(area_.data(), &argc, sizeof argc);
    area_.insert(area_.end(), strings.begin(), strings.end());
  }

  int listAllPids(std::span<sys::Pid> buffer) override {
    if (buffer.empty()) return count_;
    const int written = std::min(count_, static_cast<int>(buffer.size()));
    for (int i = 0; i < written; ++i) buffer[i] = i + 1;
    return written;
  }
  std::optional<sys::RusageV6> rusage(sys::Pid pid) override {
    return sys::RusageV6{static_cast<std::uint64_t>(pid) * 1000, 123'456'789};
  }
  std::optional<std::string> executablePath(sys::Pid) override { return "/usr/local/bin/node"; }
  std::optional<sys::BSDInfo> bsdInfo(sys::Pid) override {
    return sys::BSDInfo{.parentPid = 1, .terminalDevice = 0, .startSeconds = 1'700'000'000};
  }
  std::optional<std::string> currentDirectory(sys::Pid) override { return "/Users/me/web"; }
  std::optional<std::size_t> procArgsSize(sys::Pid) override { return area_.size(); }
  std::optional<std::size_t> procArgs(sys::Pid, std::span<std::uint8_t> buffer) override {
    const std::size_t n = std::min(buffer.size(), area_.size());
    std::copy_n(area_.begin(), n, buffer.begin());
    return n;
  }
  sys::Pid responsiblePid(sys::Pid pid) override { return pid; }
  sys::Pid ownPid() override { return 0; }
  bool kill(sys::Pid, int) override { return false; }

 private:
  int count_;
  std::vector<std::uint8_t> area_;
};

class Home final : public sys::Environment {
 public:
  bool fileExists(std::string_view) override { return false; }
  std::optional<std::string> homeDirectory() override { return "/Users/me"; }
  std::optional<std::string> applicationSupportDirectory() override { return std::nullopt; }
  std::optional<std::string> cacheDirectory() override { return std::nullopt; }
  std::optional<std::string> variable(std::string_view) override { return std::nullopt; }
  sys::OSVersion osVersion() override { return {}; }
};

void BM_ScanProcesses(benchmark::State& state) {
  SteadyProcesses processes(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto samples = ProcessScanner::scan(processes);
    benchmark::DoNotOptimize(samples.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ScanProcesses)->Arg(600)->Arg(2000);

void BM_IdentifyDevProcess(benchmark::State& state) {
  SteadyProcesses processes(1);
  Home home;
  for (auto _ : state) {
    auto identity = ProcessScanner::identity(processes, home, 1);
    benchmark::DoNotOptimize(identity.name.data());
  }
}
BENCHMARK(BM_IdentifyDevProcess);

}  // namespace

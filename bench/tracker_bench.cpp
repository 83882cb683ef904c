// Tracker::tick in steady state: 600 processes in 60 apps, 5-second ticks,
// with chip, GPU and whole-system readers answering every tick. Each
// repetition runs many ticks; the median of the repetitions' means is the
// figure to read.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "accounting/tracker.h"

namespace {

using namespace ebbwise;

constexpr int kProcesses = 600;
constexpr int kApps = 60;
constexpr int kGPUProcesses = 40;
constexpr std::uint64_t kLaunch = 1'000'000;
constexpr double kT0 = 1'760'000'000;

struct Machine {
  std::vector<ProcessSample> samples;
  std::unordered_map<std::int32_t, std::uint64_t> gpu;
  std::uint64_t step = 0;

  Machine() {
    for (int i = 0; i < kProcesses; ++i) {
      samples.push_back(
          ProcessSample{ProcessKey{1000 + i, 10 + static_cast<std::uint64_t>(i)}, 1'000'000'000});
    }
    for (int i = 0; i < kGPUProcesses; ++i) gpu[1000 + i * 15] = 0;
  }

  // Every process used some energy since the last scan; a few used the GPU.
  void advance() {
    ++step;
    for (std::size_t i = 0; i < samples.size(); ++i) {
      samples[i].energyNJ += 2'000'000 + ((i * 7919 + step * 104729) % 50'000'000);
    }
    for (auto& [pid, time] : gpu) time += 1000 + static_cast<std::uint64_t>(pid % 97) * 100;
  }

  TrackerReaders readers() {
    TrackerReaders r;
    r.readChip = [] { return std::optional<ChipEnergy>(ChipEnergy(20, 6, 0.5, 4)); };
    r.readSystem = [] { return std::optional<SystemEnergy>(SystemEnergy{60, 0, 5}); };
    r.readGPU = [this] { return gpu; };
    r.identify = [](std::int32_t pid) {
      AppIdentity id;
      id.name = "App " + std::to_string(pid % kApps);
      id.bundlePath = "/Applications/" + id.name + ".app";
      return id;
    };
    return r;
  }
};

BatteryReading onBattery() {
  BatteryReading battery;
  battery.percent = 70;
  battery.remainingWh = 40;
  battery.watts = -12;
  return battery;
}

void runTicks(benchmark::State& state, std::unique_ptr<Store> store) {
  Machine machine;
  Tracker tracker(std::move(store), sys::Date{kT0}, kLaunch, machine.readers());
  const BatteryReading battery = onBattery();
  double now = kT0;
  // Fill every window, the longest (15 minutes) included.
  for (int i = 0; i < 200; ++i, now += Tracker::interval) {
    machine.advance();
    tracker.tick(sys::Date{now}, battery, machine.samples);
  }
  for (auto _ : state) {
    machine.advance();
    benchmark::DoNotOptimize(tracker.tick(sys::Date{now}, battery, machine.samples));
    now += Tracker::interval;
  }
}

// The accounting alone: the store has no database.
void BM_TickSteadyState(benchmark::State& state) {
  runTicks(state, std::make_unique<Store>());
}
BENCHMARK(BM_TickSteadyState)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

// With a real history file: every twelfth tick commits a minute.
void BM_TickWithHistoryFile(benchmark::State& state) {
  auto folder = std::filesystem::temp_directory_path() / "ebbwise-bench-tick";
  std::filesystem::remove_all(folder);
  runTicks(state, std::make_unique<Store>((folder / "history.sqlite").string()));
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_TickWithHistoryFile)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

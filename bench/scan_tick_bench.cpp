// One tick's accounting over the simulated MacBook's ~600 processes: the
// scan of every process's energy counter (ProcessScanner::scan) and
// Tracker::tick with its default readers (chip energy, GPU time, the system
// power meter, identities), in steady state. The machine's own advance
// between ticks is not timed.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "sensors/power/battery_reading.h"
#include "accounting/default_readers.h"
#include "sensors/processes/process_scanner.h"
#include "history/store.h"
#include "accounting/tracker.h"
#include "sim/scenario.h"
#include "sim/simulation.h"
#include "sys/clock.h"

namespace {

using namespace ebbwise;

constexpr int kProcesses = 600;

// The default machine with enough background daemons for ~600 processes.
sim::Scenario crowdedScenario() {
  auto parsed = sim::Scenario::embedded("default");
  if (!parsed) std::abort();
  sim::Scenario scenario = *parsed.scenario;
  sys::ManualClock clock(scenario.machine.start);
  sim::SimulatedMac mac(scenario, clock);
  scenario.machine.backgroundDaemons += kProcesses - mac.processes().listAllPids({});
  return scenario;
}

void BM_ScanAndTick(benchmark::State& state) {
  sim::Simulation simulation(crowdedScenario());
  const sys::Platform platform = simulation.platform();
  Tracker tracker(std::make_unique<Store>(), platform.clock.now(), platform.clock.monotonicTicks(),
                  defaultReaders(platform));
  auto tick = [&](const BatteryReading& battery) {
    std::vector<ProcessSample> samples = ProcessScanner::scan(platform.processes);
    benchmark::DoNotOptimize(tracker.tick(platform.clock.now(), battery, samples));
    return samples.size();
  };
  // Name every process and fill every window, the 15-minute one included.
  for (int i = 0; i < 200; ++i) {
    tick(*BatteryReading::read(platform.registry));
    simulation.runFor(Tracker::interval);
  }
  std::size_t processes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    simulation.runFor(Tracker::interval);
    const BatteryReading battery = *BatteryReading::read(platform.registry);
    state.ResumeTiming();
    processes = tick(battery);
  }
  state.counters["processes"] = static_cast<double>(processes);
}
BENCHMARK(BM_ScanAndTick)->Unit(benchmark::kMicrosecond)->Iterations(2000)->Repetitions(5);

}  // namespace

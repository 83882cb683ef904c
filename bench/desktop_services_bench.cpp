// What the fullscreen poll costs on the simulated MacBook: the managed
// spaces and one on-screen window list of the default scenario's desktop,
// asked twice a second by the monitor.

#include <benchmark/benchmark.h>

#include <cstdlib>

#include "sim/scenario.h"
#include "sim/simulation.h"
#include "sys/window_server.h"

namespace {

using namespace ebbwise;

sim::Scenario defaultScenario() {
  auto parsed = sim::Scenario::embedded("default");
  if (!parsed) std::abort();
  return *parsed.scenario;
}

void BM_FullscreenPollCalls(benchmark::State& state) {
  sim::Simulation simulation(defaultScenario());
  const sys::Platform platform = simulation.platform();
  simulation.runFor(600);
  for (auto _ : state) {
    auto spaces = platform.windowServer.copyManagedDisplaySpaces();
    auto windows = platform.windowServer.copyWindowInfo(
        sys::kCGWindowListOptionOnScreenOnly | sys::kCGWindowListExcludeDesktopElements,
        sys::kCGNullWindowID);
    benchmark::DoNotOptimize(spaces);
    benchmark::DoNotOptimize(windows);
  }
}
BENCHMARK(BM_FullscreenPollCalls);

// A simulated day with every service watching (workspace, screens, Low
// Power Mode and the thermal poll) against the bare machine.
void BM_DayWithServiceObservers(benchmark::State& state) {
  for (auto _ : state) {
    auto scenario = defaultScenario();
    sim::Simulation simulation(scenario);
    const sys::Platform platform = simulation.platform();
    int told = 0;
    if (state.range(0)) {
      platform.workspace.addObserver(sys::WorkspaceNotification::activeSpaceDidChange,
                                     [&](const sys::WorkspaceEvent&) { ++told; });
      platform.processInfo.addObserver(sys::ProcessInfoNotification::thermalStateDidChange,
                                       [&] { ++told; });
      platform.processInfo.addObserver(sys::ProcessInfoNotification::powerStateDidChange,
                                       [&] { ++told; });
    }
    simulation.runFor(24 * 3600);
    benchmark::DoNotOptimize(told);
  }
}
BENCHMARK(BM_DayWithServiceObservers)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

// Fast-forwarding the simulated MacBook: a simulated day of the default
// scenario with the monitor (the tracker and its default readers) ticking on
// the virtual main loop, the way the report command runs it, with and
// without the true session figures gathered beside it.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/monitor.h"
#include "cli/session_truth.h"
#include "history/store.h"
#include "sim/scenario.h"
#include "sim/simulation.h"

namespace {

using namespace ebbwise;

constexpr double kDay = 24 * 3600;

sim::Scenario defaultDay() {
  auto parsed = sim::Scenario::embedded("default");
  if (!parsed) std::abort();
  parsed.scenario->duration = kDay;
  return *parsed.scenario;
}

void fastForward(benchmark::State& state, bool withTruth) {
  const auto folder = std::filesystem::temp_directory_path() / "ebbwise-bench-fast-forward";
  const sim::Scenario scenario = defaultDay();
  double sessionJoules = 0;
  for (auto _ : state) {
    std::filesystem::remove_all(folder);
    sim::Simulation simulation(scenario);
    // A scratch history, as the report command keeps for the simulator.
    Monitor monitor(
        simulation.platform(),
        std::make_unique<Store>((folder / "history.sqlite").string(), Store::Durability::scratch));
    std::unique_ptr<SessionTruth> truth;
    if (withTruth) {
      truth = std::make_unique<SessionTruth>(simulation.mac(), monitor);
      monitor.setTickObserver([&truth] { truth->tick(); });
    }
    simulation.runFor(kDay);
    monitor.willTerminate();
    sessionJoules = monitor.session ? monitor.session->batteryJoules : 0;
    if (truth) benchmark::DoNotOptimize(truth->systemJoules());
  }
  state.counters["sessionWh"] = sessionJoules / 3600;
  std::filesystem::remove_all(folder);
}

void BM_FastForwardDay(benchmark::State& state) {
  fastForward(state, false);
}
BENCHMARK(BM_FastForwardDay)->Unit(benchmark::kSecond)->Iterations(1);

void BM_FastForwardDayWithTruth(benchmark::State& state) {
  fastForward(state, true);
}
BENCHMARK(BM_FastForwardDayWithTruth)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

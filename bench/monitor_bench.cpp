// The whole monitor on the simulated MacBook: one tick over ~600 processes
// (scan, tracker, split, charge state, chart step), and a simulated week of
// days on battery and nights on the charger, with what the settings store
// was written per day.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "app/monitor.h"
#include "sim/scenario.h"
#include "sim/simulation.h"
#include "sys/clock.h"

namespace {

using namespace ebbwise;

constexpr int kProcesses = 600;

sim::Scenario crowdedScenario() {
  auto parsed = sim::Scenario::embedded("default");
  if (!parsed) std::abort();
  sim::Scenario scenario = *parsed.scenario;
  sys::ManualClock clock(scenario.machine.start);
  sim::SimulatedMac mac(scenario, clock);
  scenario.machine.backgroundDaemons += kProcesses - mac.processes().listAllPids({});
  return scenario;
}

// The monitor's own timer ticks every 5 s; the timed tick comes halfway
// between two of them, so every tick is an ordinary one 2.5 s after the last.
void BM_MonitorTick(benchmark::State& state) {
  sim::Simulation simulation(crowdedScenario());
  Monitor monitor(simulation.platform(), std::make_unique<Store>());
  monitor.setPanelOpen(true);
  simulation.runFor(20 * 60 + Tracker::interval / 2);  // every window full
  for (auto _ : state) {
    monitor.tick();
    state.PauseTiming();
    simulation.runFor(Tracker::interval);
    state.ResumeTiming();
  }
  state.counters["processes"] = simulation.mac().processes().listAllPids({});
}
BENCHMARK(BM_MonitorTick)->Unit(benchmark::kMicrosecond)->Iterations(2000)->Repetitions(3);

// Seven days: on battery from 08:00 to 12:30 and 13:30 to 18:00, asleep on
// the charger overnight.
sim::Scenario weekScenario() {
  std::string events;
  for (int day = 0; day < 7; ++day) {
    // Built by appending: GCC 12 warns falsely about "literal" + temporary.
    auto at = [&](int hours, int minutes) {
      std::string text = "\"";
      text += std::to_string(day * 24 + hours);
      text += "h";
      text += std::to_string(minutes);
      text += "m\"";
      return text;
    };
    if (!events.empty()) events += ",";
    events += "{\"at\": " + at(8, 0) + ", \"type\": \"unplug\"},";
    events += "{\"at\": " + at(12, 30) + ", \"type\": \"plug\", \"name\": \"\", \"watts\": 70},";
    events += "{\"at\": " + at(13, 30) + ", \"type\": \"unplug\"},";
    events += "{\"at\": " + at(18, 0) + ", \"type\": \"plug\", \"name\": \"\", \"watts\": 70},";
    events += "{\"at\": " + at(23, 0) + ", \"type\": \"sleep\", \"duration\": \"8h\"}";
  }
  auto parsed = sim::Scenario::parse(
      R"({"machine": {"start": "2024-11-11T00:00:00Z", "charger": {"name": "", "watts": 70}},
          "processes": [{"id": "editor", "path": "/Applications/Editor.app/Contents/MacOS/Editor",
                         "cpu": 1.5, "gpu": 0.3}],
          "events": [)" +
          events + "]}",
      "week");
  if (!parsed) {
    std::fprintf(stderr, "%s\n", parsed.error.c_str());
    std::abort();
  }
  return *parsed.scenario;
}

void BM_MonitorWeek(benchmark::State& state) {
  for (auto _ : state) {
    sim::Simulation simulation(weekScenario());
    Monitor monitor(simulation.platform(), std::make_unique<Store>());
    simulation.runFor(7 * 86'400);
    state.counters["settingsBytesPerDay"] =
        static_cast<double>(monitor.defaultsWriter().bytesWritten()) / 7;
    state.counters["settingsWritesPerDay"] =
        static_cast<double>(monitor.defaultsWriter().writes()) / 7;
  }
}
BENCHMARK(BM_MonitorWeek)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

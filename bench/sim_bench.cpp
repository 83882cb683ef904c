// The simulated MacBook's own cost per simulated 5-second tick: bringing the
// model forward and answering what a tracker asks each tick (a scan of every
// process's energy, the SMC's two power keys, one chip-energy sample and
// delta, the battery entry, the GPU clients' usage).

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <vector>

#include "sim/scenario.h"
#include "sim/simulated_mac.h"
#include "sys/clock.h"

namespace {

using namespace ebbwise;

sim::Scenario defaultScenario() {
  auto parsed = sim::Scenario::embedded("default");
  if (!parsed) std::abort();
  return *parsed.scenario;
}

float smcRead(sys::SMCUserClient& smc, sys::SMCConnection c, std::uint32_t key) {
  std::array<std::uint8_t, 80> in{}, out{};
  std::memcpy(in.data(), &key, 4);
  in[42] = 9;
  smc.callStructMethod(c, 2, in, out);
  in[28] = 4;
  in[42] = 5;
  smc.callStructMethod(c, 2, in, out);
  float f;
  std::memcpy(&f, out.data() + 48, 4);
  return f;
}

// Everything a tracker reads in one tick.
struct Tracker {
  explicit Tracker(sim::SimulatedMac& mac) : mac(mac), smc(*mac.smc().open()) {
    auto channels = mac.ioReport().copyChannelsInGroup("Energy Model", std::nullopt);
    subscription = *mac.ioReport().createSubscription(*channels, subscribed);
    last = *mac.ioReport().createSamples(subscription, subscribed);
    pids.resize(2048);
  }

  void tick(bool smcOnly = false) {
    benchmark::DoNotOptimize(smcRead(mac.smc(), smc, sys::fourCharCode("PSTR")));
    benchmark::DoNotOptimize(smcRead(mac.smc(), smc, sys::fourCharCode("PDTR")));
    if (smcOnly) return;
    auto& processes = mac.processes();
    int n = processes.listAllPids(pids);
    std::uint64_t energy = 0;
    for (int i = 0; i < n; ++i) {
      if (auto r = processes.rusage(pids[static_cast<std::size_t>(i)])) energy += r->energyNJ;
    }
    benchmark::DoNotOptimize(energy);
    auto sample = mac.ioReport().createSamples(subscription, subscribed);
    auto delta = mac.ioReport().createSamplesDelta(last, *sample);
    benchmark::DoNotOptimize(delta);
    last = std::move(*sample);
    auto& registry = mac.registry();
    benchmark::DoNotOptimize(registry.properties(*registry.matchingService("AppleSmartBattery")));
    std::uint64_t gpu = 0;
    for (auto accelerator : registry.matchingServices("IOAccelerator")) {
      for (auto client : registry.descendants(accelerator)) {
        auto creator = registry.property(client, "IOUserClientCreator");
        auto usage = registry.property(client, "AppUsage");
        if (creator && usage && usage->is_array() && !usage->empty()) {
          gpu += (*usage)[0].value("accumulatedGPUTime", std::uint64_t{0});
        }
      }
    }
    benchmark::DoNotOptimize(gpu);
  }

  sim::SimulatedMac& mac;
  sys::SMCConnection smc;
  sys::Value subscribed;
  sys::IOReportSubscription subscription = 0;
  sys::Value last;
  std::vector<sys::Pid> pids;
};

// One 5-second tick of the default machine, steady state.
void BM_TrackerTick(benchmark::State& state) {
  auto scenario = defaultScenario();
  sys::ManualClock clock(scenario.machine.start);
  sim::SimulatedMac mac(scenario, clock);
  Tracker tracker(mac);
  for (auto _ : state) {
    clock.advance(5);
    tracker.tick();
  }
  state.counters["processes"] = mac.processes().listAllPids({});
}
BENCHMARK(BM_TrackerTick)->Unit(benchmark::kMicrosecond);

// Only bringing the model forward by 5 s (one power read to trigger it).
void BM_AdvanceFiveSeconds(benchmark::State& state) {
  auto scenario = defaultScenario();
  sys::ManualClock clock(scenario.machine.start);
  sim::SimulatedMac mac(scenario, clock);
  for (auto _ : state) {
    clock.advance(5);
    benchmark::DoNotOptimize(mac.trueSystemWatts());
  }
}
BENCHMARK(BM_AdvanceFiveSeconds)->Unit(benchmark::kMicrosecond);

// A whole simulated day: a tick every 5 s and the system-power meter's
// reading every second, as the product fast-forwards it.
void BM_SimulatedDay(benchmark::State& state) {
  auto scenario = defaultScenario();
  scenario.duration = 24 * 3600;
  for (auto _ : state) {
    sys::ManualClock clock(scenario.machine.start);
    sim::SimulatedMac mac(scenario, clock);
    Tracker tracker(mac);
    for (int second = 1; second <= 24 * 3600; ++second) {
      clock.advance(1);
      tracker.tick(second % 5 != 0);
    }
  }
}
BENCHMARK(BM_SimulatedDay)->Unit(benchmark::kSecond)->Iterations(1);

// Building the machine (process table, expected rows, timeline).
void BM_Construct(benchmark::State& state) {
  auto scenario = defaultScenario();
  for (auto _ : state) {
    sys::ManualClock clock(scenario.machine.start);
    sim::SimulatedMac mac(scenario, clock);
    benchmark::DoNotOptimize(&mac);
  }
}
BENCHMARK(BM_Construct)->Unit(benchmark::kMillisecond);

}  // namespace

// Wall time of simulated days on the virtual run loop. A day of 5-second ticks
// should take well under a second, so that tests can simulate days freely.

#include <benchmark/benchmark.h>

#include "sys/virtual_run_loop.h"

namespace ebbwise::sys {
namespace {

constexpr double day = 86'400.0;

void BM_VirtualDayOfFiveSecondTicks(benchmark::State& state) {
  for (auto _ : state) {
    VirtualRunLoop loop;
    std::int64_t ticks = 0;
    loop.scheduleRepeating(5.0, 1.0, [&] { ++ticks; });
    loop.runFor(day);
    if (ticks != 17'280) state.SkipWithError("wrong tick count");
    benchmark::DoNotOptimize(ticks);
  }
  state.SetItemsProcessed(state.iterations() * 17'280);
}
BENCHMARK(BM_VirtualDayOfFiveSecondTicks)->Unit(benchmark::kMillisecond);

// The main loop's full timer load: the 5 s tick taking the meter's totals
// synchronously on its queue, the meter's 1 s timer there, and the 0.5 s poll.
void BM_VirtualDayOfTheMainLoopsTimers(benchmark::State& state) {
  std::int64_t events = 0;
  for (auto _ : state) {
    VirtualRunLoop loop;
    auto meter = loop.makeSerialQueue("meter");
    double joules = 0;
    double taken = 0;
    meter->scheduleRepeating(1.0, 1.0, 0.25, [&] { joules += 7.5; });
    loop.scheduleRepeating(0.5, 0.15, [&] { ++events; });
    loop.scheduleRepeating(5.0, 1.0, [&] {
      meter->sync([&] {
        taken += joules;
        joules = 0;
      });
      ++events;
    });
    loop.runFor(day);
    benchmark::DoNotOptimize(taken);
  }
  state.SetItemsProcessed(state.iterations() * (172'800 + 86'400 + 17'280));
}
BENCHMARK(BM_VirtualDayOfTheMainLoopsTimers)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ebbwise::sys

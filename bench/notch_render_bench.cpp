// Drawing the notch: rendering the view to a PNG (closed, and open with a
// chart and the since-charge bars standing in for the panel), and the notch
// window's share of a core on a real X server, at rest and while the
// charging sweep runs. The window figures need DISPLAY (an Xvfb will do):
//
//   Xvfb :77 -screen 0 1512x982x24 & DISPLAY=:77 build/release/notch_render_bench
//
// EBBWISE_BENCH_SECONDS sets how long each window run lasts (10 s by default).

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "linux/system_clock.h"
#include "sys/real_run_loop.h"
#include "ui/drain_chart.h"
#include "ui/image_canvas.h"
#include "ui/notch_metrics.h"
#include "ui/notch_view.h"
#include "ui/notch_window_host.h"
#include "ui/since_charge_bars.h"

namespace ebbwise::ui {
namespace {

constexpr double kNow = 1'767'225'600.0;

NotchViewInput sampleInput(bool charging) {
  NotchViewInput in;
  in.battery = BatteryReading::make(62, 30, charging ? 25 : -8.5, charging, charging, {}, {});
  in.battery->fullWh = 52.6;
  in.isChargingNow = charging;
  in.netBatteryWatts = charging ? 25 : -8.5;
  in.minutesLeft = 212;
  in.minutesToFull = charging ? std::optional<double>(48) : std::nullopt;
  in.hogs = {{"Safari", 6.2}, {"Xcode", 3.4}};
  in.unit = PowerUnit::watts;
  return in;
}

NotchState sampleState(bool open) {
  NotchState state;
  state.notchSize = {192, 38};
  state.isOpen = open;
  state.panelContentHeight = 440;
  return state;
}

// A chart of 15 minutes of five rows and the bars below it.
PanelContents samplePanel() {
  auto chart = std::make_shared<DrainChartInput>();
  chart->unit = PowerUnit::watts;
  chart->now = sys::Date{kNow};
  for (int i = 0; i < 180; ++i) {
    chart->drainHistory.push_back(
        {sys::Date{kNow - 900 + i * 5},
         {{"Safari", 3 + std::sin(i / 9.0)}, {"Xcode", 2.5}, {"Screen", 2.1}, {"Mail", 0.4}}});
  }
  chart->chartLines = {"Safari", "Xcode", "Screen", std::string(ChartSeries::restKey)};
  chart->seriesSlot = {{"Safari", 2}, {"Xcode", 0}, {"Screen", 3}};
  auto bars = std::make_shared<SinceChargeBarsInput>();
  bars->unit = PowerUnit::watts;
  bars->now = sys::Date{kNow};
  SinceCharge record(sys::Date{kNow - 7200});
  record.joules = {{"Safari", 20'000}, {"Xcode", 9'000}, {"Screen", 15'000}, {"Mail", 800}};
  bars->sinceCharge = record;
  bars->chartedRows = {"Safari", "Xcode", "Screen"};
  bars->seriesSlot = chart->seriesSlot;
  return [chart, bars](Canvas& canvas, Size size) {
    DrainChart::draw(canvas, *chart, size.width, 200.0);
    canvas.translate(0, DrainChart::height + 12);
    SinceChargeBars::draw(canvas, *bars, size.width, true);
  };
}

void render(benchmark::State& state, bool open, bool png) {
  FontLibrary fonts;
  NotchViewInput in = sampleInput(true);
  NotchState notch = sampleState(open);
  PanelContents panel = open ? samplePanel() : PanelContents{};
  std::string path = (std::filesystem::temp_directory_path() / "ebbwise-notch-bench.png").string();
  double height = notch.notchSize.height + 16 + (open ? notch.panelContentHeight : 0);
  for (auto _ : state) {
    ImageCanvas image(Size{NotchMetrics::windowWidth, height}, 2, fonts);
    image.canvas().translate(NotchMetrics::windowWidth / 2, 0);
    NotchView::draw(image.canvas(), in, notch, NotchMotion::resting(notch, in), panel);
    if (png && image.writePng(path)) state.SkipWithError("the PNG could not be written");
    benchmark::DoNotOptimize(image.data());
  }
}

void BM_ClosedNotchToPng(benchmark::State& state) {
  render(state, false, true);
}
BENCHMARK(BM_ClosedNotchToPng)->Unit(benchmark::kMillisecond);

void BM_OpenNotchWithChartToPng(benchmark::State& state) {
  render(state, true, true);
}
BENCHMARK(BM_OpenNotchWithChartToPng)->Unit(benchmark::kMillisecond);

// The same picture drawn but not encoded: what the PNG costs is the difference.
void BM_OpenNotchWithChartDrawn(benchmark::State& state) {
  render(state, true, false);
}
BENCHMARK(BM_OpenNotchWithChartDrawn)->Unit(benchmark::kMillisecond);

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The notch window left alone for a while: its share of one core.
void windowLoad(benchmark::State& state, bool charging) {
  if (!std::getenv("DISPLAY")) return state.SkipWithError("needs an X display (DISPLAY)");
  double seconds = 10;
  if (const char* s = std::getenv("EBBWISE_BENCH_SECONDS")) seconds = std::max(std::atof(s), 1.0);
  auto waiter = std::make_unique<SdlEventWaiter>();
  SdlEventWaiter& events = *waiter;
  sys::RealRunLoop loop(std::move(waiter));
  std::string error;
  auto session = SdlSession::open(events, error);
  if (!session) return state.SkipWithError(error.c_str());
  linux_host::SystemClock clock;
  ScreenDescription screen{Rect{0, 0, 1512, 982}, Rect{0, 944, 660, 38}, Rect{852, 944, 660, 38},
                           38};
  auto host = NotchWindowHost::open(loop, *session, clock, {{screen}, {}}, error);
  if (!host) return state.SkipWithError(error.c_str());
  host->setInput(sampleInput(charging));
  loop.runFor(1);  // shown and settled
  for (auto _ : state) {
    double cpu = cpuSeconds();
    auto start = std::chrono::steady_clock::now();
    std::uint64_t frames = host->frames();
    loop.runFor(seconds);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["core_percent"] = (cpuSeconds() - cpu) / wall * 100;
    state.counters["frames_per_s"] = (host->frames() - frames) / wall;
  }
}

void BM_NotchWindowAtRest(benchmark::State& state) {
  windowLoad(state, false);
}
BENCHMARK(BM_NotchWindowAtRest)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

void BM_NotchWindowChargingSweep(benchmark::State& state) {
  windowLoad(state, true);
}
BENCHMARK(BM_NotchWindowChargingSweep)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace ebbwise::ui

// Rendering the open notch panel to PNG, as --render-panel does: the whole
// 1120 × 1520 picture with a panel full of rows, the charger's section, the
// tip and the accessories; and the same picture drawn but not encoded, so
// what the PNG costs is the difference. Target: at most 50 ms a picture.

#include <benchmark/benchmark.h>

#include <filesystem>

#include "face/panel_snapshot.h"

namespace ebbwise {
namespace {

constexpr double kNow = 1'767'225'600.0;

ui::PanelInput samplePanel() {
  ui::PanelInput in;
  in.notch.battery = BatteryReading::make(62, 31, 21.5, true, true, {}, {});
  in.notch.battery->fullWh = 52.6;
  in.notch.battery->chargeMAh = 3120;
  in.notch.battery->fullMAh = 5000;
  in.notch.isChargingNow = true;
  in.notch.netBatteryWatts = 21.5;
  in.notch.minutesToFull = 48;
  in.notch.unit = PowerUnit::watts;
  in.now = sys::Date{kNow};
  in.chargeFlow = ChargeFlow{30, 8.5};
  in.chargerLabel = "Anker 96 W USB-C charger";
  in.smartChargingMessage = "Smart charging \u00B7 holding at 80%";
  in.nowRows = {{"Screen & other hardware", 0.4, 3.2, {}, {}, {}},
                {"Safari", 0.3, 2.2, {}, ui::Color::rgb24(0x3987E5), {}},
                {"Xcode", 0.2, 6.1, {}, ui::Color::rgb24(0xD95926), {}}};
  in.showHideBatteryIconTip = true;
  in.devices = {{"Magic Mouse", "computermouse", {{"", 85}}},
                {"AirPods Pro", "airpodspro", {{"L", 92}, {"R", 88}, {"case", 41}}}};
  return in;
}

void render(benchmark::State& state, bool png) {
  ui::FontLibrary fonts;
  ui::PanelInput input = samplePanel();
  std::string path =
      (std::filesystem::temp_directory_path() / "ebbwise-panel-bench.png").string();
  for (auto _ : state) {
    auto image = PanelSnapshot::render(input, fonts);
    if (png && image->writePng(path)) state.SkipWithError("the PNG could not be written");
    benchmark::DoNotOptimize(image->data());
  }
}

void BM_OpenPanelToPng(benchmark::State& state) {
  render(state, true);
}
BENCHMARK(BM_OpenPanelToPng)->Unit(benchmark::kMillisecond);

void BM_OpenPanelDrawn(benchmark::State& state) {
  render(state, false);
}
BENCHMARK(BM_OpenPanelDrawn)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ebbwise

#include "sim/normalized_scenario.h"

#include <algorithm>
#include <cmath>

#include "sim/machine_model_constants.h"

namespace ebbwise::sim {

using MachineModelConstants::clamp01;

namespace {

double nonNegative(double x) {
  return std::isfinite(x) ? std::max(x, 0.0) : 0.0;
}

}  // namespace

Load normalizedLoad(Load l) {
  for (double* w : {&l.cpu, &l.gpu, &l.neuralEngine, &l.videoDecode, &l.videoEncode, &l.camera}) {
    *w = nonNegative(*w);
  }
  l.fluctuation = clamp01(l.fluctuation);
  return l;
}

Scenario normalizedScenario(Scenario s) {
  MachineSetup& m = s.machine;
  m.chip = std::clamp(m.chip, 1, 4);
  m.battery.percent =
      std::isfinite(m.battery.percent) ? std::clamp(m.battery.percent, 0.0, 100.0) : 50;
  m.brightness = clamp01(m.brightness);
  m.keyboard = clamp01(m.keyboard);
  m.backgroundDaemons = std::clamp(m.backgroundDaemons, 0, 5000);
  if (m.charger) m.charger->watts = nonNegative(m.charger->watts);
  for (auto& p : s.processes) {
    p.load = normalizedLoad(p.load);
    if (p.pid && (*p.pid < 0 || *p.pid > 99998)) p.pid.reset();
    if (p.gpuClients) p.gpuClients = std::clamp(*p.gpuClients, 0, 16);
  }
  for (auto& e : s.events) {
    if (e.type == EventType::plug) e.charger.watts = nonNegative(e.charger.watts);
    if (e.type == EventType::brightness || e.type == EventType::keyboard) {
      e.value = clamp01(e.value);
    }
  }
  std::stable_sort(s.events.begin(), s.events.end(),
                   [](const Event& a, const Event& b) { return a.at < b.at; });
  s.sleeps.clear();
  for (const auto& e : s.events) {
    if (e.type != EventType::sleep || !(e.value > 0)) continue;
    if (!s.sleeps.empty() && e.at < s.sleeps.back().at + s.sleeps.back().seconds) {
      auto& last = s.sleeps.back();
      last.seconds = std::max(last.seconds, e.at + e.value - last.at);
    } else {
      s.sleeps.push_back({e.at, e.value});
    }
  }
  return s;
}

}  // namespace ebbwise::sim

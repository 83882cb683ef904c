#include "sim/simulation.h"

namespace ebbwise::sim {

Simulation::Simulation(Scenario scenario)
    : start_(scenario.machine.start), loop_(scenario.machine.start) {
  mac_ = std::make_unique<SimulatedMac>(std::move(scenario), loop_.clock());
  for (const SleepSpan& span : mac_->sleeps()) {
    loop_.scheduleAfter(span.start - loop_.now(),
                        [this, seconds = span.seconds()] { loop_.suspend(seconds); });
  }
}

}  // namespace ebbwise::sim

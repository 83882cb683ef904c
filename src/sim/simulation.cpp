#include "sim/simulation.h"

#include <algorithm>

namespace ebbwise::sim {

namespace {

// A little past the machine's next boundary, so that the boundary is behind
// the clock however dates and the loop's whole nanoseconds round.
constexpr double kPastBoundary = 1e-6;

sys::Date startOf(const Scenario& scenario) {
  return isPlausibleStart(scenario.machine.start) ? scenario.machine.start : MachineSetup{}.start;
}

}  // namespace

Simulation::Simulation(Scenario scenario) : start_(startOf(scenario)), loop_(start_) {
  mac_ = std::make_unique<SimulatedMac>(std::move(scenario), loop_.clock());
  for (const SleepSpan& span : mac_->sleeps()) {
    loop_.scheduleAfter(span.start - loop_.now(), [this, end = span.end] {
      mac_->announceSleep();
      // Run late (after a hibernation that covered its start), a sleep lasts
      // only what is left of it.
      loop_.suspend(end - loop_.now());
      // A battery that ran out meanwhile keeps the machine off: nothing due
      // may run at the wake, which comes when a charger revives it.
      if (mac_->hibernating()) {
        off_ = true;
        loop_.stop();
      } else {
        mac_->announceWake();
      }
    });
  }
}

void Simulation::runFor(double seconds) {
  if (seconds > 0) runUntil(loop_.now() + seconds);
}

void Simulation::runUntil(sys::Date end) {
  // The battery can only run out at one of the machine's boundaries (a time
  // slot, an event, the charge crossing empty), so the loop runs from one to
  // the next and stops running as soon as the machine is found off. While
  // it hibernates the loop only sleeps, boundary by boundary, until the
  // machine is back on or the run is over.
  for (;;) {
    const sys::Date now = loop_.now();
    if (!(now < end)) return;
    const sys::Date boundary = std::max(mac_->nextChange(), now) + kPastBoundary;
    const sys::Date target = std::min(end, boundary);
    if (mac_->hibernating()) {
      if (!off_) mac_->announceSleep();  // an empty battery puts it to sleep too
      off_ = true;
      loop_.suspend(target - now);
    } else {
      if (off_) mac_->announceWake();
      off_ = false;
      loop_.runUntil(target);
    }
    if (!(loop_.now() > now)) return;  // the end, to the clock's resolution
  }
}

}  // namespace ebbwise::sim

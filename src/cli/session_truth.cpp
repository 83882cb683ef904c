#include "cli/session_truth.h"

namespace ebbwise {

namespace {
// The tracker discards a tick this long after the previous one.
constexpr double kGapSeconds = 15.0;
}  // namespace

SessionTruth::SessionTruth(sim::SimulatedMac& mac, const Monitor& monitor)
    : mac_(mac), monitor_(monitor), previous_(mac.truth()), lastTick_(monitor.lastTickAt) {}

void SessionTruth::tick() {
  sim::TruthSnapshot now = mac_.truth();
  if (monitor_.session && monitor_.session->start != sessionStart_) {
    sessionStart_ = monitor_.session->start;
    systemJoules_ = 0;
    rows_.clear();
  }
  double dt = lastTick_ && monitor_.lastTickAt ? *monitor_.lastTickAt - *lastTick_ : 0;
  bool accounted = dt > 0 && dt < kGapSeconds && monitor_.battery && !monitor_.battery->onAC;
  if (accounted && monitor_.session) {
    sim::TruthInterval step = sim::interval(previous_, now);
    systemJoules_ += step.systemJoules;
    for (const auto& [row, truth] : step.rows) {
      rows_[row].cpuJoules += truth.cpuJoules;
      rows_[row].gpuJoules += truth.gpuJoules;
    }
  }
  previous_ = std::move(now);
  lastTick_ = monitor_.lastTickAt;
}

void SessionTruth::fill(SessionReport& report) {
  report.trueSystemJoules = systemJoules_;
  report.trueMinutesLeft = mac_.trueMinutesToEmpty();
  for (auto& app : report.apps) {
    auto it = rows_.find(app.name);
    app.trueJoules = it == rows_.end() ? 0.0 : it->second.joules();
    app.trueGraphicsJoules = it == rows_.end() ? 0.0 : it->second.gpuJoules;
  }
}

}  // namespace ebbwise

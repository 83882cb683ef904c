#include "cli/session_truth.h"

#include <utility>

namespace ebbwise {

namespace {
// The tracker discards a tick this long after the previous one.
constexpr double kGapSeconds = 15.0;
}  // namespace

SessionTruth::SessionTruth(sim::SimulatedMac& mac, const Monitor& monitor)
    : mac_(mac), monitor_(monitor), lastTick_(monitor.lastTickAt) {
  mac_.rowSnapshot(previous_);
  rows_.assign(mac_.rowNames().size(), sim::RowTruth{});
}

void SessionTruth::tick() {
  mac_.rowSnapshot(current_);
  if (monitor_.session && monitor_.session->start != sessionStart_) {
    sessionStart_ = monitor_.session->start;
    systemJoules_ = 0;
    rows_.assign(rows_.size(), sim::RowTruth{});
  }
  double dt = lastTick_ && monitor_.lastTickAt ? *monitor_.lastTickAt - *lastTick_ : 0;
  bool accounted = dt > 0 && dt < kGapSeconds && monitor_.battery && !monitor_.battery->onAC;
  if (accounted && monitor_.session) {
    systemJoules_ += current_.systemJoules - previous_.systemJoules;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      rows_[i].cpuJoules += current_.rows[i].cpuJoules - previous_.rows[i].cpuJoules;
      rows_[i].gpuJoules += current_.rows[i].gpuJoules - previous_.rows[i].gpuJoules;
    }
  }
  std::swap(previous_, current_);
  lastTick_ = monitor_.lastTickAt;
}

std::map<std::string, sim::RowTruth> SessionTruth::rows() const {
  std::map<std::string, sim::RowTruth> byName;
  const std::vector<std::string>& names = mac_.rowNames();
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].cpuJoules != 0 || rows_[i].gpuJoules != 0) byName.emplace(names[i], rows_[i]);
  }
  return byName;
}

void SessionTruth::fill(SessionReport& report) {
  report.trueSystemJoules = systemJoules_;
  report.trueMinutesLeft = mac_.trueMinutesToEmpty();
  const sim::TruthSnapshot now = mac_.truth();
  report.charge.trueChargeMAh = now.chargeMAh;
  report.charge.trueFullMAh = now.fullMAh;
  for (const sim::Hibernation& h : mac_.hibernations()) {
    std::optional<double> seconds;
    if (h.end) seconds = *h.end - h.start;
    report.batteryRanOut.push_back({h.start - mac_.startDate(), seconds});
  }
  const std::map<std::string, sim::RowTruth> byName = rows();
  for (auto& app : report.apps) {
    auto it = byName.find(app.name);
    app.trueJoules = it == byName.end() ? 0.0 : it->second.joules();
    app.trueGraphicsJoules = it == byName.end() ? 0.0 : it->second.gpuJoules;
  }
}

}  // namespace ebbwise

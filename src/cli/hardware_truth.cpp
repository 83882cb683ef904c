#include "cli/hardware_truth.h"

#include <array>
#include <utility>

#include "accounting/app_share.h"
#include "accounting/tracker.h"

namespace ebbwise {

namespace {

constexpr std::array<std::pair<std::string_view, sim::Part>, 4> kRowParts = {{
    {AppShare::screenName, sim::Part::screen},
    {AppShare::speakersName, sim::Part::speakers},
    {AppShare::keyboardName, sim::Part::keyboard},
    {AppShare::chargingHeatName, sim::Part::chargingLoss},
}};

// The tracker discards a tick this long after the previous one.
constexpr double kGapSeconds = 15.0;

}  // namespace

HardwareTruth::HardwareTruth(sim::SimulatedMac& mac, const Monitor& monitor)
    : mac_(mac), monitor_(monitor) {}

std::optional<sim::Part> HardwareTruth::partOf(std::string_view row) {
  for (const auto& [name, part] : kRowParts) {
    if (name == row) return part;
  }
  return std::nullopt;
}

void HardwareTruth::tick() {
  mac_.rowSnapshot(current_);
  if (havePrevious_) {
    double dt = current_.seconds - previous_.seconds;
    interval_ = dt > 0 ? std::optional<double>(dt) : std::nullopt;
    if (counting_ && dt > 0 && dt < kGapSeconds) {
      for (const auto& [name, part] : kRowParts) {
        Energy& e = energy_[std::string(name)];
        auto shown = monitor_.nowRowWatts.find(std::string(name));
        if (shown != monitor_.nowRowWatts.end()) e.joules += shown->second * dt;
        e.trueJoules += current_.part(part) - previous_.part(part);
      }
    }
  }
  const HardwareMeasuring& hardware = monitor_.hardware();
  if (!counting_ && !hardware.isCalibrating() && hardware.screen().isMeasured()) counting_ = true;
  std::swap(previous_, current_);
  havePrevious_ = true;
}

std::optional<double> HardwareTruth::trueWatts(std::string_view row) const {
  std::optional<sim::Part> part = partOf(row);
  if (!part || !interval_ || !havePrevious_) return std::nullopt;
  // `previous_` holds the latest snapshot, `current_` the one before.
  return (previous_.part(*part) - current_.part(*part)) / *interval_;
}

void HardwareTruth::fill(SessionReport& report) const {
  for (SessionReport::Row& row : report.rows) row.trueWatts = trueWatts(row.name);
  for (const auto& [name, e] : energy_) {
    // A part that drew nothing and showed nothing (no charge in the run).
    if (e.joules == 0 && e.trueJoules == 0) continue;
    report.hardwareEnergy.push_back({name, e.joules, e.trueJoules});
  }
}

}  // namespace ebbwise

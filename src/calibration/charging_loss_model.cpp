#include "calibration/charging_loss_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/json_fields.h"

namespace ebbwise {

namespace {

constexpr double kSmallestChargeStep = 5.0;
constexpr double kLargestFraction = 0.15;
// Past this many observations the mean stops hardening.
constexpr std::int64_t kMostWeight = 50;
constexpr double kLeastChargeWatts = 0.5;

}  // namespace

void ChargingLossModel::add(double hardwareDelta, double chargeDelta) {
  // A non-finite figure would be stored and poison every later estimate.
  if (!std::isfinite(hardwareDelta) || !std::isfinite(chargeDelta)) return;
  if (std::abs(chargeDelta) < kSmallestChargeStep) return;
  double f = hardwareDelta / chargeDelta;
  if (!(f >= 0 && f <= kLargestFraction)) return;
  // A stored count below 0 can only be damage; it weighs nothing.
  auto k = static_cast<double>(std::clamp<std::int64_t>(samples, 0, kMostWeight));
  fraction = (f + fraction.value_or(f) * k) / (k + 1);
  if (samples < std::numeric_limits<std::int64_t>::max()) ++samples;
}

std::optional<double> ChargingLossModel::heat(double chargeWatts) const {
  if (!fraction || !(chargeWatts > kLeastChargeWatts)) return std::nullopt;
  return *fraction * chargeWatts;
}

sys::Value ChargingLossModel::toJSON() const {
  sys::Value document = {{"samples", samples}};
  if (fraction) document["fraction"] = *fraction;
  return document;
}

std::string ChargingLossModel::toJSONText() const {
  return JSONFields::dump(toJSON());
}

std::optional<ChargingLossModel> ChargingLossModel::fromJSON(const sys::Value& document) {
  ChargingLossModel model;
  std::optional<std::int64_t> samples = JSONFields::integer(document, "samples");
  if (!samples || !JSONFields::optionalNumber(document, "fraction", model.fraction)) {
    return std::nullopt;
  }
  model.samples = *samples;
  return model;
}

std::optional<ChargingLossModel> ChargingLossModel::fromJSONText(std::string_view text) {
  return JSONFields::decode<ChargingLossModel>(text);
}

}  // namespace ebbwise

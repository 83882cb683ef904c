#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sys/value.h"

namespace ebbwise {

// The share of the charging power that turns into heat inside the Mac,
// learned passively from steps of the charging power.
struct ChargingLossModel {
  std::optional<double> fraction;  // 0 to 0.15; absent until measured
  std::int64_t samples = 0;        // accepted observations

  bool isMeasured() const { return fraction.has_value(); }

  // Folds in one observation: a step of `chargeDelta` watts in the charging
  // power moved the unexplained power by `hardwareDelta`. Steps under 5 W are
  // too small to tell, and a share outside 0…0.15 is another effect at work;
  // both are ignored, as are figures that are not finite. The running mean
  // weighs a new observation at least 1/51, so the model keeps adapting.
  void add(double hardwareDelta, double chargeDelta);

  // Heat at a charging power; nothing while unmeasured or at 0.5 W or less.
  std::optional<double> heat(double chargeWatts) const;

  // {"fraction": f, "samples": n}, "fraction" left out while unmeasured.
  sys::Value toJSON() const;
  std::string toJSONText() const;
  // Nothing unless "samples" is a whole number and "fraction", when present,
  // a number.
  static std::optional<ChargingLossModel> fromJSON(const sys::Value& document);
  static std::optional<ChargingLossModel> fromJSONText(std::string_view text);

  friend bool operator==(const ChargingLossModel&, const ChargingLossModel&) = default;
};

}  // namespace ebbwise

#include "sensors/power/capacity_average.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/json_fields.h"

namespace ebbwise {

namespace {

bool usable(double mAh) {
  return std::isfinite(mAh) && mAh > 0;
}

}  // namespace

void CapacityAverage::add(const std::vector<double>& estimates) {
  std::vector<double> kept;
  std::copy_if(estimates.begin(), estimates.end(), std::back_inserter(kept), usable);
  if (kept.empty() || kept == last) return;
  last = kept;
  for (double v : kept) {
    const auto n = static_cast<double>(std::clamp<std::int64_t>(count, 0, memory));
    const double m = mean.value_or(v);
    // (v + m·n) / (n + 1), in the form that cannot overflow.
    mean = m + (v - m) / (n + 1);
    if (count < std::numeric_limits<std::int64_t>::max()) ++count;
  }
}

sys::Value CapacityAverage::toJSON() const {
  sys::Value document = {{"count", count}, {"last", last}};
  if (mean) document["mean"] = *mean;
  return document;
}

std::string CapacityAverage::toJSONText() const {
  return JSONFields::dump(toJSON());
}

std::optional<CapacityAverage> CapacityAverage::fromJSON(const sys::Value& document) {
  if (!document.is_object()) return std::nullopt;
  CapacityAverage average;
  auto count = JSONFields::integer(document, "count");
  if (!count || *count < 0) return std::nullopt;
  average.count = *count;
  const sys::Value* last = sys::asList(sys::member(document, "last"));
  if (!last) return std::nullopt;
  for (const sys::Value& item : *last) {
    auto mAh = sys::asNumber(&item);
    if (!mAh) return std::nullopt;
    average.last.push_back(*mAh);
  }
  if (!JSONFields::optionalNumber(document, "mean", average.mean)) return std::nullopt;
  // Only positive estimates are ever folded in, so any other mean is damage.
  if (average.mean && !usable(*average.mean)) return std::nullopt;
  return average;
}

std::optional<CapacityAverage> CapacityAverage::fromJSONText(std::string_view text) {
  return JSONFields::decode<CapacityAverage>(text);
}

}  // namespace ebbwise

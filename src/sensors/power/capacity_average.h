#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sys/value.h"

namespace ebbwise {

// A long-run estimate of the battery's true full capacity: the running mean
// of the full-capacity figures the battery reports, which wander from one
// reading to the next. Stored as JSON between runs.
struct CapacityAverage {
  // The mean weighs at most this many estimates' worth of history, so it
  // follows the battery as it ages.
  static constexpr std::int64_t memory = 500;

  std::optional<double> mean;  // mAh; absent until the first estimate
  std::int64_t count = 0;      // estimates folded in so far
  std::vector<double> last;    // the list folded in last

  // Folds in one reading's estimates (mAh). Values that are not positive
  // numbers are dropped; a list equal to the last one is the same reading
  // seen again and changes nothing.
  void add(const std::vector<double>& estimates);

  // {"mean": mAh (omitted while absent), "count": n, "last": [mAh, …]}
  sys::Value toJSON() const;
  std::string toJSONText() const;
  // Nothing unless "count" and "last" are present and every member has the
  // right type and a value a stored average can have.
  static std::optional<CapacityAverage> fromJSON(const sys::Value& document);
  static std::optional<CapacityAverage> fromJSONText(std::string_view text);

  friend bool operator==(const CapacityAverage&, const CapacityAverage&) = default;
};

}  // namespace ebbwise

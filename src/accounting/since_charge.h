#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sys/date.h"
#include "sys/value.h"

namespace ebbwise {

// Energy per row since the Mac was last charged, accumulated from live power
// readings. Stored as JSON between runs.
struct SinceCharge {
  struct Bar {
    std::string name;
    double joules = 0;
    friend bool operator==(const Bar&, const Bar&) = default;
  };

  sys::Date start;
  std::map<std::string, double> joules;  // per chart series
  std::optional<sys::Date> lastAdd;      // when the last reading came in

  explicit SinceCharge(sys::Date start) : start(start) {}

  // Adds the energy of one reading (watts per row, grouped into chart series)
  // over the time since the previous reading. A first reading, a reading more
  // than `maxGap` seconds after the previous one (asleep, app not running)
  // or one not after it only restarts the clock. Rows at 0 W or below, or
  // with a figure that is not finite, add nothing.
  void add(const std::unordered_map<std::string, double>& watts, sys::Date at, double maxGap);

  double total() const;

  // Whether a charge that ended at `startingAt` is the one this ledger began
  // with (the two moments are less than five minutes apart).
  bool isSameSession(sys::Date startingAt) const;

  // The largest rows, at most `limit` entries in all: rows of at least
  // `minJoules`, and "Everything else" for the rest when that is as large.
  // Highest first. A `limit` of 0 counts as 1.
  std::vector<Bar> bars(std::size_t limit, double minJoules) const;

  // {"start": seconds since 2001, "joules": {row: J}, "lastAdd": seconds since 2001}
  sys::Value toJSON() const;
  std::string toJSONText() const;
  // Nothing unless `start` and `joules` are present and every value has the
  // right type.
  static std::optional<SinceCharge> fromJSON(const sys::Value& document);
  static std::optional<SinceCharge> fromJSONText(std::string_view text);

  friend bool operator==(const SinceCharge&, const SinceCharge&) = default;
};

}  // namespace ebbwise

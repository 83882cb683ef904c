#pragma once

#include <compare>

namespace ebbwise::sys {

// A point in time: seconds since 1 January 1970 00:00 UTC. Documents the
// system stores as JSON count from the platform's reference date instead,
// 1 January 2001; the conversion happens only at that edge.
struct Date {
  double secondsSince1970 = 0;

  static constexpr double referenceDateOffset = 978'307'200.0;  // 2001-01-01 in Unix seconds

  static constexpr Date fromSecondsSinceReferenceDate(double seconds) {
    return Date{seconds + referenceDateOffset};
  }
  constexpr double secondsSinceReferenceDate() const {
    return secondsSince1970 - referenceDateOffset;
  }

  constexpr Date operator+(double seconds) const { return Date{secondsSince1970 + seconds}; }
  constexpr Date operator-(double seconds) const { return Date{secondsSince1970 - seconds}; }
  // Seconds from `other` to this date.
  constexpr double operator-(Date other) const { return secondsSince1970 - other.secondsSince1970; }

  friend constexpr auto operator<=>(Date, Date) = default;
};

}  // namespace ebbwise::sys

#pragma once

#include <cmath>
#include <optional>

namespace ebbwise {

// An exponential smoother whose weight grows with the time since the last
// sample, so irregular sample spacing is handled.
struct SmoothedValue {
  double timeConstant = 0;  // seconds
  std::optional<double> value;

  explicit SmoothedValue(double timeConstant) : timeConstant(timeConstant) {}

  void add(double sample, double dt) {
    if (!value) {
      value = sample;
      return;
    }
    *value += (sample - *value) * (1.0 - std::exp(-dt / timeConstant));
  }

  void reset() { value.reset(); }

  friend bool operator==(const SmoothedValue&, const SmoothedValue&) = default;
};

}  // namespace ebbwise

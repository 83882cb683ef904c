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

  // Folds in one sample taken `dt` seconds after the previous one. A
  // non-finite sample is ignored (one would poison the value for good), and a
  // `dt` that is not positive carries no weight, so a clock step backwards
  // cannot push the value beyond the samples.
  void add(double sample, double dt) {
    if (!std::isfinite(sample)) return;
    if (!value) {
      value = sample;
      return;
    }
    if (!(dt > 0)) return;
    *value += (sample - *value) * (1.0 - std::exp(-dt / timeConstant));
  }

  void reset() { value.reset(); }

  friend bool operator==(const SmoothedValue&, const SmoothedValue&) = default;
};

}  // namespace ebbwise

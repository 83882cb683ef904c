#pragma once

#include <bit>
#include <cstdint>

#include "sim/counter_random.h"

namespace ebbwise::sim {

// Draws a platform call's occasional failure. A draw depends only on the
// seed, the instant and how many draws came before it at that instant, never
// on how often the machine was asked earlier, so two readers asking at the
// same instants in the same order meet the same failures, and a call tried
// again at once draws afresh.
class TransientFaults {
 public:
  TransientFaults(std::uint64_t seed, std::uint64_t stream) : seed_(seed), stream_(stream) {}

  // Uniform in [0, 1), for the call made at `t` seconds.
  double draw(double t) {
    if (t != instant_) {
      instant_ = t;
      calls_ = 0;
    }
    return CounterRandom::unit(seed_, stream_, std::bit_cast<std::uint64_t>(t), ++calls_);
  }

  bool fails(double t, double probability) { return probability > 0 && draw(t) < probability; }

 private:
  std::uint64_t seed_;
  std::uint64_t stream_;
  double instant_ = -1;
  std::uint64_t calls_ = 0;
};

}  // namespace ebbwise::sim

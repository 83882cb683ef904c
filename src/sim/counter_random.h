#pragma once

#include <cstdint>

namespace ebbwise::sim {

// A counter-based generator: every draw is a pure function of its inputs, so
// the machine's fluctuation depends only on the seed and what is being drawn
// (which process, which time slot), never on how often it is asked.
namespace CounterRandom {

constexpr std::uint64_t splitmix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

constexpr std::uint64_t hash(std::uint64_t seed, std::uint64_t a, std::uint64_t b = 0,
                             std::uint64_t c = 0) {
  return splitmix64(splitmix64(splitmix64(seed ^ splitmix64(a)) ^ b) ^ c);
}

// Uniform in [0, 1).
constexpr double unit(std::uint64_t seed, std::uint64_t a, std::uint64_t b = 0,
                      std::uint64_t c = 0) {
  return static_cast<double>(hash(seed, a, b, c) >> 11) * 0x1.0p-53;
}

}  // namespace CounterRandom

}  // namespace ebbwise::sim

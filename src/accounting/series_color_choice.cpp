#include "accounting/series_color_choice.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace ebbwise::SeriesColorChoice {

namespace {

constexpr int kBuckets = 12;

bool isUnit(double v) {
  return v >= 0 && v <= 1;
}

}  // namespace

std::optional<double> dominantHue(std::span<const Pixel> pixels) {
  std::array<double, kBuckets> weight{};
  std::array<double, kBuckets> hueSum{};
  for (const Pixel& p : pixels) {
    if (!isUnit(p.h) || !isUnit(p.s) || !isUnit(p.b) || !isUnit(p.a)) continue;
    // Translucent, greyish or dark pixels say little about the icon's colour.
    if (!(p.a > 0.5 && p.s > 0.35 && p.b > 0.3)) continue;
    int bucket = std::min(static_cast<int>(p.h * kBuckets), kBuckets - 1);
    weight[bucket] += p.s;
    hueSum[bucket] += p.s * p.h;
  }
  int best = 0;
  for (int i = 1; i < kBuckets; ++i) {
    if (weight[i] > weight[best]) best = i;
  }
  if (!(weight[best] > 0)) return std::nullopt;
  return hueSum[best] / weight[best];
}

std::optional<std::size_t> slot(std::optional<double> iconHue, std::span<const double> slotHues,
                                const std::set<std::size_t>& taken,
                                std::span<const std::size_t> neutralOrder) {
  std::vector<std::size_t> free;
  for (std::size_t i = 0; i < slotHues.size(); ++i) {
    if (!taken.contains(i)) free.push_back(i);
  }
  if (free.empty()) return std::nullopt;
  if (!iconHue) {
    for (std::size_t candidate : neutralOrder) {
      if (candidate < slotHues.size() && !taken.contains(candidate)) return candidate;
    }
    return free.front();
  }
  auto distance = [&](std::size_t i) {
    double d = std::abs(slotHues[i] - *iconHue);
    return std::min(d, 1 - d);
  };
  std::size_t best = free.front();
  for (std::size_t i : free) {
    if (distance(i) < distance(best)) best = i;
  }
  return best;
}

}  // namespace ebbwise::SeriesColorChoice

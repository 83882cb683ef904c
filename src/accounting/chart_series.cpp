#include "accounting/chart_series.h"

#include <algorithm>
#include <utility>

namespace ebbwise::ChartSeries {

namespace {

constexpr std::string_view kAssistant = "Claude";
constexpr std::string_view kAssistantSessionPrefix = "Claude Code (";

}  // namespace

std::string key(std::string_view name) {
  if (name == kAssistant || name.starts_with(kAssistantSessionPrefix)) {
    return std::string(kAssistant);
  }
  return std::string(name);
}

Point group(const Point& watts) {
  Point grouped;
  for (const auto& [name, w] : watts) grouped[key(name)] += w;
  return grouped;
}

std::vector<std::string> pick(const std::vector<Point>& history, std::size_t limit, double minPeak,
                              const std::unordered_set<std::string>& exclude) {
  std::unordered_map<std::string, double> peaks;
  for (const auto& point : history) {
    for (const auto& [name, w] : point) {
      if (exclude.contains(name)) continue;
      // Peaks start at 0, so a row that only ever reads below 0 peaks at 0;
      // a NaN reading is passed over by the comparison.
      double& peak = peaks[name];
      peak = std::max(peak, w);
    }
  }
  std::vector<std::pair<std::string, double>> kept;
  for (auto& [name, peak] : peaks) {
    if (peak >= minPeak) kept.emplace_back(name, peak);
  }
  std::ranges::sort(kept, [](const auto& a, const auto& b) {
    if (a.second != b.second) return a.second > b.second;
    return a.first < b.first;
  });
  if (kept.size() > limit) kept.resize(limit);
  std::vector<std::string> names;
  names.reserve(kept.size());
  for (auto& [name, peak] : kept) names.push_back(std::move(name));
  return names;
}

double value(std::string_view series, const Point& point, const std::vector<std::string>& drawn) {
  if (series != restKey) {
    auto it = point.find(std::string(series));
    return it == point.end() ? 0.0 : it->second;
  }
  double total = 0;
  for (const auto& [name, w] : point) total += w;
  std::unordered_set<std::string_view> counted;
  for (const auto& name : drawn) {
    if (name == restKey || !counted.insert(name).second) continue;
    if (auto it = point.find(name); it != point.end()) total -= it->second;
  }
  // Written so that a NaN total also gives 0.
  return total > 0 ? total : 0.0;
}

}  // namespace ebbwise::ChartSeries

#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace ebbwise {

// Which rows get their own line in the power chart, and the value of a line
// at one point of the chart's history.
namespace ChartSeries {

// One point of the chart: watts per row (or per series, once grouped).
using Point = std::unordered_map<std::string, double>;

// The line that collects every row not drawn on its own.
inline constexpr std::string_view restKey = "Everything else";

// The series a row is drawn in. The assistant's command-line sessions are
// drawn together with its desktop app.
std::string key(std::string_view name);

// Sums the rows of a point by series.
Point group(const Point& watts);

// Up to `limit` series whose peak over the history is at least `minPeak`,
// highest peak first (equal peaks by name); rows in `exclude` never qualify.
std::vector<std::string> pick(const std::vector<Point>& history, std::size_t limit, double minPeak,
                              const std::unordered_set<std::string>& exclude);

// A series' value at a point. The rest line holds whatever the drawn series
// do not, and is never negative.
double value(std::string_view series, const Point& point, const std::vector<std::string>& drawn);

}  // namespace ChartSeries

}  // namespace ebbwise

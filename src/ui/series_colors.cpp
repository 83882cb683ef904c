#include "ui/series_colors.h"

#include <algorithm>
#include <cmath>

#include "accounting/chart_series.h"

namespace ebbwise::ui {

namespace SeriesColors {

std::array<Color, 6> all() {
  std::array<Color, 6> out;
  for (std::size_t i = 0; i < rgb.size(); ++i) out[i] = Color::rgb24(rgb[i]);
  return out;
}

std::array<double, 6> hues() {
  std::array<double, 6> out{};
  for (std::size_t i = 0; i < rgb.size(); ++i) {
    Color c = Color::rgb24(rgb[i]);
    double hi = std::max({c.red, c.green, c.blue}), lo = std::min({c.red, c.green, c.blue});
    double d = hi - lo, h = 0;
    if (d > 0) {
      if (hi == c.red) {
        h = std::fmod((c.green - c.blue) / d, 6.0);
      } else if (hi == c.green) {
        h = (c.blue - c.red) / d + 2;
      } else {
        h = (c.red - c.green) / d + 4;
      }
      h /= 6;
      if (h < 0) h += 1;
    }
    out[i] = h;
  }
  return out;
}

std::optional<Color> color(std::optional<int> slot) {
  if (!slot) return std::nullopt;
  int n = static_cast<int>(rgb.size());
  return Color::rgb24(rgb[static_cast<std::size_t>(((*slot % n) + n) % n)]);
}

std::optional<Color> forRow(std::string_view row, const std::vector<std::string>& chartedRows,
                            const std::map<std::string, int>& seriesSlot) {
  std::string key = ChartSeries::key(row);
  if (std::find(chartedRows.begin(), chartedRows.end(), key) == chartedRows.end()) {
    return std::nullopt;
  }
  auto it = seriesSlot.find(key);
  return color(it == seriesSlot.end() ? std::nullopt : std::optional<int>(it->second));
}

}  // namespace SeriesColors

}  // namespace ebbwise::ui

#include "ui/since_charge_bars.h"

#include <algorithm>
#include <cmath>

#include "accounting/chart_series.h"
#include "base/time_left.h"
#include "ui/energy_text.h"
#include "ui/row_icon.h"
#include "ui/series_colors.h"

namespace ebbwise::ui {

namespace SinceChargeBars {

namespace {

constexpr double kIcon = 13;
constexpr double kGap = 6;
constexpr double kBarHeight = 6;
constexpr double kShortestBar = 2;

const TextStyle kHeader(11, FontWeight::semibold);
const TextStyle kHeaderDetail(11);
const TextStyle kFigure(11, FontWeight::medium, true);
const TextStyle kName(11);

bool drawsNow(const SinceChargeBarsInput& input, const std::string& series) {
  return std::any_of(input.nowRowWatts.begin(), input.nowRowWatts.end(), [&](const auto& row) {
    return row.second > 0 && ChartSeries::key(row.first) == series;
  });
}

Color barColor(const SinceChargeBarsInput& input, const std::string& series) {
  if (series == ChartSeries::restKey) return Color::systemGray();
  return SeriesColors::forRow(series, input.chartedRows, input.seriesSlot)
      .value_or(Color::systemGray());
}

}  // namespace

std::vector<SinceCharge::Bar> bars(const SinceChargeBarsInput& input) {
  if (!input.sinceCharge || !(input.sinceCharge->total() > 0)) return {};
  return input.sinceCharge->bars(maxBars, EnergyText::shownAsZero(input.unit, input.battery));
}

double height(const SinceChargeBarsInput& input) {
  std::size_t count = bars(input).size();
  if (!input.sinceCharge || !(input.sinceCharge->total() > 0)) return 0;
  return 2 * padding + headerHeight + count * rowHeight;
}

void draw(Canvas& canvas, const SinceChargeBarsInput& input, double width, bool pulse) {
  std::vector<SinceCharge::Bar> list = bars(input);
  if (!input.sinceCharge || !(input.sinceCharge->total() > 0)) return;
  double figureColumn = input.unit == PowerUnit::percentPerHour ? 52 : 38;
  double left = padding, right = std::max(width - padding, left + 1);

  // Header: what, for how long, how much in all.
  double minutes = (input.now - input.sinceCharge->start) / 60;
  std::string title = "Since unplugged";
  std::string since = TimeLeft::compact(std::max(minutes, 0.0), false);
  std::string total = EnergyText::string(input.sinceCharge->total(), input.unit, input.battery);
  Size titleSize = canvas.measure(title, kHeader);
  Size totalSize = canvas.measure(total, kFigure);
  double y = padding;
  canvas.text(title, Point{left, y}, kHeader, Color::white());
  canvas.text(since, Point{left + titleSize.width + 6, y}, kHeaderDetail, Color::secondary());
  canvas.text(total, Point{right - totalSize.width, y}, kFigure, Color::white());
  y += headerHeight;

  double largest = list.empty() ? 0 : list.front().joules;
  for (const SinceCharge::Bar& bar : list) {
    largest = std::max(largest, bar.joules);
  }
  double nameWidth = std::clamp((right - left) * 0.34, 40.0, 150.0);
  double barLeft = left + kIcon + kGap + nameWidth + kGap;
  double barRight = right - figureColumn - kGap;
  double barSpan = std::max(barRight - barLeft, kShortestBar);
  for (const SinceCharge::Bar& bar : list) {
    Color color = barColor(input, bar.name);
    double mid = y + rowHeight / 2;
    RowIcon::draw(canvas, bar.name, Box{left, mid - kIcon / 2, kIcon, kIcon}, color,
                  RowIcon::find(input.icons, bar.name));
    Size nameSize = canvas.measure(bar.name, kName.cutAt(nameWidth));
    canvas.text(bar.name, Point{left + kIcon + kGap, mid - nameSize.height / 2},
                kName.cutAt(nameWidth), Color::white().opacity(0.9));

    Box track{barLeft, mid - kBarHeight / 2, barSpan, kBarHeight};
    // Rows drawing power now pulse: their track breathes in the row's colour.
    Color trackColor = drawsNow(input, bar.name) ? color.opacity(pulse ? 0.45 : 0.18)
                                                 : Color::white().opacity(0.06);
    canvas.fill(Path::roundedRect(track, kBarHeight / 2), trackColor);
    double share = largest > 0 && std::isfinite(bar.joules) ? bar.joules / largest : 0;
    double length = std::max(std::clamp(share, 0.0, 1.0) * barSpan, kShortestBar);
    canvas.fill(Path::roundedRect(Box{barLeft, track.y, length, kBarHeight}, kBarHeight / 2),
                color);

    std::string figure = EnergyText::string(bar.joules, input.unit, input.battery);
    Size figureSize = canvas.measure(figure, kFigure.cutAt(figureColumn));
    canvas.text(figure, Point{right - figureSize.width, mid - figureSize.height / 2},
                kFigure.cutAt(figureColumn), Color::white());
    y += rowHeight;
  }
}

}  // namespace SinceChargeBars

}  // namespace ebbwise::ui

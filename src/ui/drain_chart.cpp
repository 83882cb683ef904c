#include "ui/drain_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <numeric>

#include "ui/row_icon.h"
#include "ui/series_colors.h"

namespace ebbwise::ui {

namespace DrainChart {

namespace {

constexpr double kTitleWidth = 14;
constexpr double kTitleGap = 2;
constexpr double kTickGutter = 26;      // the value labels left of the plot
constexpr double kAnnotationRoom = 14;  // above the plot, for the Low Power Mode leaves
constexpr double kTimeLabelRoom = 14;   // below the plot
constexpr double kMarkerIcon = 13;
constexpr double kMarkerGap = 3;
constexpr double kFallbackFullWh = 50;
constexpr double kTooltipMaxName = 140;

const TextStyle kTitleText(10, FontWeight::medium);
const TextStyle kAxisText(9);
const TextStyle kMarkerText(9, FontWeight::semibold, true);
const TextStyle kTooltipText(10);
const TextStyle kTooltipTime(10, FontWeight::semibold, true);

double fullWh(const DrainChartInput& input) {
  return input.battery && input.battery->fullWh > 0 ? input.battery->fullWh : kFallbackFullWh;
}

// Watts in the unit shown (percent of the battery per hour, or watts).
double shown(double watts, const DrainChartInput& input) {
  return input.unit == PowerUnit::watts ? watts : watts / fullWh(input) * 100;
}

double watts(double shownValue, const DrainChartInput& input) {
  return input.unit == PowerUnit::watts ? shownValue : shownValue * fullWh(input) / 100;
}

// A step of 1, 2 or 5 times a power of ten that cuts `span` into at most
// `count` pieces.
double niceStep(double span, int count) {
  if (!(span > 0) || !std::isfinite(span)) return 1;
  double raw = span / count;
  double power = std::pow(10, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * power >= raw) return m * power;
  }
  return 10 * power;
}

std::string tickText(double value, double step) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, step < 1 ? "%.1f" : "%.0f", value);
  return buffer;
}

std::string clockText(sys::Date date) {
  std::time_t t = static_cast<std::time_t>(std::floor(date.secondsSince1970));
  std::tm local{};
  if (!std::isfinite(date.secondsSince1970) || !localtime_r(&t, &local)) return "--:--";
  char buffer[16];
  std::strftime(buffer, sizeof buffer, "%H:%M:%S", &local);
  return buffer;
}

Color seriesColor(const DrainChartInput& input, const std::string& series) {
  if (series == ChartSeries::restKey) return Color::systemGray();
  auto slot = input.seriesSlot.find(series);
  if (slot == input.seriesSlot.end()) return Color::secondary();
  return *SeriesColors::color(slot->second);
}

// A line through the samples, its corners rounded by running each bend as a
// curve between the midpoints of its two sides.
Path smoothLine(const std::vector<Point>& points) {
  Path path;
  if (points.empty()) return path;
  path.moveTo(points.front());
  if (points.size() == 1) {
    path.lineTo(points.front());
    return path;
  }
  for (std::size_t i = 1; i + 1 < points.size(); ++i) {
    Point mid{(points[i].x + points[i + 1].x) / 2, (points[i].y + points[i + 1].y) / 2};
    path.quadTo(points[i], mid);
  }
  path.lineTo(points.back());
  return path;
}

struct Mapping {
  const Layout& layout;
  double x(double time) const {
    double span = layout.endTime - layout.startTime;
    return layout.plot.x + (time - layout.startTime) / span * layout.plot.width;
  }
  double y(double shownValue) const {
    double v = std::clamp(shownValue, 0.0, layout.top);
    return layout.plot.maxY() - v / layout.top * layout.plot.height;
  }
};

void drawTitle(Canvas& canvas, const DrainChartInput& input) {
  std::string title = input.unit == PowerUnit::watts ? "Watts" : "% per hour";
  Size size = canvas.measure(title, kTitleText);
  SavedState saved(canvas);
  canvas.translate(kTitleWidth / 2, height / 2);
  canvas.rotate(-M_PI / 2);
  canvas.text(title, Point{-size.width / 2, -size.height / 2}, kTitleText,
              Color::white().opacity(0.7));
}

void drawGrid(Canvas& canvas, const DrainChartInput& input, const Layout& layout) {
  Mapping map{layout};
  double top = shown(layout.top, input);
  double step = niceStep(top, 3);
  for (double v = 0; v <= top + 1e-9; v += step) {
    double y = map.y(watts(v, input));
    Path rule;
    rule.moveTo({layout.plot.x, y});
    rule.lineTo({layout.plot.maxX(), y});
    canvas.stroke(rule, Stroke(0.5), Color::white().opacity(v == 0 ? 0.25 : 0.1));
    std::string text = tickText(v, step);
    Size size = canvas.measure(text, kAxisText);
    canvas.text(text, Point{layout.plot.x - 4 - size.width, y - size.height / 2}, kAxisText,
                Color::white().opacity(0.5));
  }
  // Minutes before now, every 1, 2, 5, 10… minutes, at most five labels.
  double minutes = (layout.endTime - layout.startTime) / 60;
  double every = niceStep(minutes, 4);
  for (double m = 0; m <= minutes + 1e-9; m += every) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lldm ago", static_cast<long long>(std::llround(m)));
    Size size = canvas.measure(buffer, kAxisText);
    double x = map.x(layout.endTime - m * 60) - size.width / 2;
    x = std::clamp(x, layout.plot.x - kTickGutter, layout.plot.maxX() - size.width);
    canvas.text(buffer, Point{x, layout.plot.maxY() + 2}, kAxisText, Color::white().opacity(0.5));
  }
}

void drawLowPowerMarks(Canvas& canvas, const DrainChartInput& input, const Layout& layout) {
  Mapping map{layout};
  Color yellow = Color::systemYellow();
  for (const auto& [date, on] : input.lowPowerEvents) {
    double t = date.secondsSince1970;
    if (!(t >= layout.startTime && t <= layout.endTime)) continue;
    double x = map.x(t);
    Path rule;
    rule.moveTo({x, layout.plot.y});
    rule.lineTo({x, layout.plot.maxY()});
    canvas.stroke(rule, Stroke(1, LineCap::butt, LineJoin::miter, {3, 3}), yellow.opacity(0.6));
    canvas.icon(on ? "leaf.fill" : "leaf", Box{x - 5, layout.plot.y - 2 - 10, 10, 10}, yellow);
  }
}

void drawTooltip(Canvas& canvas, const DrainChartInput& input, const Layout& layout,
                 double pointerX) {
  const Box& plot = layout.plot;
  Path rule;
  rule.moveTo({plot.x + pointerX - 0.5, plot.y});
  rule.lineTo({plot.x + pointerX - 0.5, plot.maxY()});
  canvas.stroke(rule, Stroke(1), Color::white().opacity(0.7));
  if (input.drainHistory.empty()) return;

  double time = layout.startTime + pointerX / plot.width * (layout.endTime - layout.startTime);
  auto nearest = std::min_element(input.drainHistory.begin(), input.drainHistory.end(),
                                  [&](const auto& a, const auto& b) {
                                    return std::abs(a.first.secondsSince1970 - time) <
                                           std::abs(b.first.secondsSince1970 - time);
                                  });
  const double padding = 7, dot = 6, lineGap = 3;
  std::string clock = clockText(nearest->first);
  Size clockSize = canvas.measure(clock, kTooltipTime);
  struct Row {
    std::string name, value;
    Color color;
    Size nameSize, valueSize;
  };
  std::vector<Row> rows;
  double width = clockSize.width, rowsHeight = 0;
  for (const std::string& series : input.chartLines) {
    double w = ChartSeries::value(series, nearest->second, input.chartLines);
    Row row{
        series,
        PowerFormat::string(std::isfinite(w) ? w : 0, input.unit, fullWh(input), false, 1, false),
        seriesColor(input, series),
        {},
        {}};
    row.nameSize = canvas.measure(row.name, kTooltipText.cutAt(kTooltipMaxName));
    row.valueSize = canvas.measure(row.value, kTooltipText);
    width = std::max(width, dot + 4 + row.nameSize.width + 10 + row.valueSize.width);
    rowsHeight += row.nameSize.height + lineGap;
    rows.push_back(std::move(row));
  }
  double boxWidth = width + 2 * padding;
  Box box{plot.x + tooltipX(pointerX, boxWidth, plot.width), plot.y + 4, boxWidth,
          clockSize.height + lineGap + rowsHeight + 2 * padding - lineGap};
  canvas.fill(Path::roundedRect(box, 6), Color::gray(0.12, 0.94));
  canvas.stroke(Path::roundedRect(box, 6), Stroke(0.5), Color::white().opacity(0.12));
  double y = box.y + padding;
  canvas.text(clock, Point{box.x + padding, y}, kTooltipTime, Color::white());
  y += clockSize.height + lineGap;
  for (const Row& row : rows) {
    canvas.fill(Path::ellipse(Box{box.x + padding, y + (row.nameSize.height - dot) / 2, dot, dot}),
                row.color);
    canvas.text(row.name, Point{box.x + padding + dot + 4, y}, kTooltipText.cutAt(kTooltipMaxName),
                Color::white().opacity(0.85));
    canvas.text(row.value, Point{box.maxX() - padding - row.valueSize.width, y}, kTooltipText,
                Color::white());
    y += row.nameSize.height + lineGap;
  }
}

}  // namespace

std::vector<double> values(const DrainChartInput& input, const std::string& series) {
  std::vector<double> out;
  out.reserve(input.drainHistory.size());
  for (const auto& [date, point] : input.drainHistory) {
    double w = ChartSeries::value(series, point, input.chartLines);
    out.push_back(std::isfinite(w) ? w : 0);
  }
  return out;
}

Layout layout(const DrainChartInput& input, double width) {
  Layout l;
  double now = input.now.secondsSince1970;
  l.endTime = now;
  l.startTime =
      input.drainHistory.empty() ? now : input.drainHistory.front().first.secondsSince1970;
  if (!(l.endTime - l.startTime >= shortestRange)) l.startTime = l.endTime - shortestRange;

  double largest = 1.0;
  for (const std::string& series : input.chartLines) {
    for (double w : values(input, series)) largest = std::max(largest, std::min(w, 1e6));
  }
  l.top = 1.1 * largest;

  l.markerColumn = input.unit == PowerUnit::percentPerHour ? 52 : 38;
  double left = kTitleWidth + kTitleGap + kTickGutter;
  double right = std::max(width, left + 1) - (kMarkerIcon + kMarkerGap + l.markerColumn + 4);
  l.plot = Box{left, kAnnotationRoom, std::max(right - left, 1.0),
               height - kAnnotationRoom - kTimeLabelRoom};
  return l;
}

std::vector<double> spreadMarkers(const std::vector<double>& wanted, double bottom) {
  std::vector<std::size_t> order(wanted.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return wanted[a] < wanted[b]; });
  std::vector<double> out = wanted;
  for (std::size_t k = 1; k < order.size(); ++k) {
    double previous = out[order[k - 1]];
    out[order[k]] = std::max(out[order[k]], previous + markerSpacing);
  }
  if (!order.empty() && out[order.back()] > bottom) {
    double overflow = out[order.back()] - bottom;
    for (double& y : out) y -= overflow;
  }
  return out;
}

double tooltipX(double pointerX, double tooltipWidth, double plotWidth) {
  return std::min(std::max(pointerX - tooltipWidth / 2, 0.0), plotWidth - tooltipWidth);
}

void draw(Canvas& canvas, const DrainChartInput& input, double width,
          std::optional<double> pointerX) {
  Layout l = layout(input, width);
  Mapping map{l};
  drawTitle(canvas, input);
  drawGrid(canvas, input, l);
  drawLowPowerMarks(canvas, input, l);

  std::vector<double> ends;
  for (const std::string& series : input.chartLines) {
    std::vector<double> w = values(input, series);
    std::vector<Point> points;
    for (std::size_t i = 0; i < w.size(); ++i) {
      points.push_back({map.x(input.drainHistory[i].first.secondsSince1970), map.y(w[i])});
    }
    canvas.stroke(smoothLine(points), Stroke(2, LineCap::round, LineJoin::round),
                  seriesColor(input, series));
    ends.push_back(w.empty() ? 0 : w.back());
  }

  std::vector<double> wanted;
  for (double w : ends) wanted.push_back(map.y(w));
  std::vector<double> at = spreadMarkers(wanted, l.plot.maxY());
  for (std::size_t i = 0; i < input.chartLines.size(); ++i) {
    const std::string& series = input.chartLines[i];
    double x = l.plot.maxX() + 4;
    RowIcon::draw(canvas, series, Box{x, at[i] - kMarkerIcon / 2, kMarkerIcon, kMarkerIcon},
                  seriesColor(input, series), RowIcon::find(input.icons, series));
    std::string text = PowerFormat::string(ends[i], input.unit, fullWh(input), false, 1, false);
    Size size = canvas.measure(text, kMarkerText.cutAt(l.markerColumn));
    canvas.text(text, Point{x + kMarkerIcon + kMarkerGap, at[i] - size.height / 2},
                kMarkerText.cutAt(l.markerColumn), Color::white());
  }

  if (pointerX && *pointerX >= 0 && *pointerX <= l.plot.width) {
    drawTooltip(canvas, input, l, *pointerX);
  }
}

}  // namespace DrainChart

}  // namespace ebbwise::ui

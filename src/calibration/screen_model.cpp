#include "calibration/screen_model.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "base/json_fields.h"

namespace ebbwise {

namespace {

// Brightness steps the curve predicts smaller than this are lost in the noise
// of the measurement.
constexpr double kSmallestStep = 0.2;
// How far one everyday observation may move the curve.
constexpr double kLowestRatio = 0.5;
constexpr double kHighestRatio = 2.0;
constexpr double kLearningRate = 0.25;

}  // namespace

ScreenModel ScreenModel::fromCalibration(std::vector<Sample> samples) {
  std::erase_if(samples, [](const Sample& s) {
    return !std::isfinite(s.brightness) || !std::isfinite(s.offChipWatts);
  });
  if (samples.size() < 2) return ScreenModel{};
  std::ranges::stable_sort(samples, {}, &Sample::brightness);
  ScreenModel model;
  double base = samples.front().offChipWatts;
  double highest = 0;
  for (const Sample& s : samples) {
    highest = std::max(highest, s.offChipWatts - base);
    model.points.push_back({s.brightness, highest});
  }
  return model;
}

std::optional<double> ScreenModel::watts(double at) const {
  if (!isMeasured() || std::isnan(at)) return std::nullopt;
  if (at <= points.front().brightness) return points.front().watts;
  if (at >= points.back().brightness) return points.back().watts;
  // Found before the last point since `at` is below its brightness, and the
  // first match lies strictly above its predecessor, so the span is never 0.
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    const Point& a = points[i];
    const Point& b = points[i + 1];
    if (b.brightness >= at) {
      return a.watts + (b.watts - a.watts) * (at - a.brightness) / (b.brightness - a.brightness);
    }
  }
  return points.back().watts;
}

void ScreenModel::refine(double from, double to, double measuredDelta) {
  // A NaN would spread into every point and be stored for good.
  if (!std::isfinite(measuredDelta)) return;
  std::optional<double> before = watts(from);
  std::optional<double> after = watts(to);
  if (!before || !after) return;
  double predicted = *after - *before;
  if (!(std::abs(predicted) >= kSmallestStep)) return;
  double ratio = std::clamp(measuredDelta / predicted, kLowestRatio, kHighestRatio);
  double factor = 1 + (ratio - 1) * kLearningRate;
  for (Point& p : points) p.watts *= factor;
  if (refinements < std::numeric_limits<std::int64_t>::max()) ++refinements;
}

sys::Value ScreenModel::toJSON() const {
  sys::Value list = sys::Value::array();
  for (const Point& p : points) list.push_back({{"brightness", p.brightness}, {"watts", p.watts}});
  return {{"points", std::move(list)}, {"refinements", refinements}};
}

std::string ScreenModel::toJSONText() const {
  return JSONFields::dump(toJSON());
}

std::optional<ScreenModel> ScreenModel::fromJSON(const sys::Value& document) {
  const sys::Value* list = sys::asList(sys::member(document, "points"));
  std::optional<std::int64_t> refinements = JSONFields::integer(document, "refinements");
  if (!list || !refinements) return std::nullopt;
  ScreenModel model;
  model.refinements = *refinements;
  model.points.reserve(list->size());
  for (const sys::Value& entry : *list) {
    std::optional<double> brightness = JSONFields::number(entry, "brightness");
    std::optional<double> w = JSONFields::number(entry, "watts");
    if (!brightness || !w) return std::nullopt;
    model.points.push_back({*brightness, *w});
  }
  return model;
}

std::optional<ScreenModel> ScreenModel::fromJSONText(std::string_view text) {
  return JSONFields::decode<ScreenModel>(text);
}

}  // namespace ebbwise

#pragma once

// Hardware calibration: the learned power models of the screen, speakers,
// keyboard light and charging loss, and the measurements that teach them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sys/value.h"

namespace ebbwise {

// The built-in screen's power as a function of its brightness, learned by
// stepping the brightness and watching the power outside the chip.
struct ScreenModel {
  struct Point {
    double brightness = 0;  // 0 (dimmest) to 1 (full)
    double watts = 0;       // above the power at the dimmest measured brightness
    friend bool operator==(const Point&, const Point&) = default;
  };

  // One brightness step of a calibration run.
  struct Sample {
    double brightness = 0;
    double offChipWatts = 0;
  };

  std::vector<Point> points;     // by brightness ascending, watts never decreasing
  std::int64_t refinements = 0;  // rescalings by `refine` since the calibration

  bool isMeasured() const { return points.size() >= 2; }

  // The curve of a calibration run: each step's power above the dimmest
  // step, never decreasing (a step that reads lower than a dimmer one repeats
  // the dimmer one's figure). Fewer than two usable samples give the
  // unmeasured model; samples with a figure that is not finite are unusable.
  static ScreenModel fromCalibration(std::vector<Sample> samples);

  // Power at a brightness, interpolated linearly and held at the curve's ends;
  // nothing while unmeasured or for a NaN brightness.
  std::optional<double> watts(double at) const;

  // Moves the curve a quarter of the way towards an everyday observation: a
  // brightness change from `from` to `to` that changed the power outside the
  // chip by `measuredDelta`. Steps the curve predicts below 0.2 W are too
  // small to learn from, and a delta that is not finite is ignored.
  void refine(double from, double to, double measuredDelta);

  // {"points": [{"brightness": b, "watts": w}…], "refinements": n}
  sys::Value toJSON() const;
  std::string toJSONText() const;
  // Nothing unless "points" (each with both numbers) and "refinements" are
  // present with the right types.
  static std::optional<ScreenModel> fromJSON(const sys::Value& document);
  static std::optional<ScreenModel> fromJSONText(std::string_view text);

  friend bool operator==(const ScreenModel&, const ScreenModel&) = default;
};

}  // namespace ebbwise

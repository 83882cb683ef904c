#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sys/value.h"

namespace ebbwise {

// The extra power of the keyboard backlight, proportional to its level.
struct KeyboardModel {
  std::optional<double> fullWatts;  // at full brightness; absent until measured

  bool isMeasured() const { return fullWatts.has_value(); }

  // Power at a backlight level, held to 0…1 (a NaN level counts as off);
  // nothing while unmeasured.
  std::optional<double> watts(double level) const;

  // {"fullWatts": w}; the empty object while unmeasured.
  sys::Value toJSON() const;
  std::string toJSONText() const;
  // Nothing unless the document is an object whose "fullWatts", when present,
  // is a number.
  static std::optional<KeyboardModel> fromJSON(const sys::Value& document);
  static std::optional<KeyboardModel> fromJSONText(std::string_view text);

  friend bool operator==(const KeyboardModel&, const KeyboardModel&) = default;
};

}  // namespace ebbwise

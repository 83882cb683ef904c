#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sys/value.h"

namespace ebbwise {

// The extra power the built-in speakers draw while switched on.
struct SpeakerModel {
  std::optional<double> watts;  // absent until measured
  std::int64_t samples = 0;     // measurements behind `watts`

  bool isMeasured() const { return watts.has_value(); }

  // {"watts": w, "samples": n}, "watts" left out while unmeasured.
  sys::Value toJSON() const;
  std::string toJSONText() const;
  // Nothing unless "samples" is a whole number and "watts", when present, a number.
  static std::optional<SpeakerModel> fromJSON(const sys::Value& document);
  static std::optional<SpeakerModel> fromJSONText(std::string_view text);

  friend bool operator==(const SpeakerModel&, const SpeakerModel&) = default;
};

}  // namespace ebbwise

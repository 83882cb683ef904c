#include "calibration/keyboard_model.h"

#include <algorithm>
#include <cmath>

#include "base/json_fields.h"

namespace ebbwise {

std::optional<double> KeyboardModel::watts(double level) const {
  if (!fullWatts) return std::nullopt;
  double l = std::isnan(level) ? 0.0 : std::clamp(level, 0.0, 1.0);
  return *fullWatts * l;
}

sys::Value KeyboardModel::toJSON() const {
  sys::Value document = sys::Value::object();
  if (fullWatts) document["fullWatts"] = *fullWatts;
  return document;
}

std::string KeyboardModel::toJSONText() const {
  return JSONFields::dump(toJSON());
}

std::optional<KeyboardModel> KeyboardModel::fromJSON(const sys::Value& document) {
  // With no required member, only the object itself shows it is one of ours.
  if (!document.is_object()) return std::nullopt;
  KeyboardModel model;
  if (!JSONFields::optionalNumber(document, "fullWatts", model.fullWatts)) return std::nullopt;
  return model;
}

std::optional<KeyboardModel> KeyboardModel::fromJSONText(std::string_view text) {
  return JSONFields::decode<KeyboardModel>(text);
}

}  // namespace ebbwise

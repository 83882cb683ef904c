#include "calibration/speaker_model.h"

#include "base/json_fields.h"

namespace ebbwise {

sys::Value SpeakerModel::toJSON() const {
  sys::Value document = {{"samples", samples}};
  if (watts) document["watts"] = *watts;
  return document;
}

std::string SpeakerModel::toJSONText() const {
  return JSONFields::dump(toJSON());
}

std::optional<SpeakerModel> SpeakerModel::fromJSON(const sys::Value& document) {
  SpeakerModel model;
  std::optional<std::int64_t> samples = JSONFields::integer(document, "samples");
  if (!samples || !JSONFields::optionalNumber(document, "watts", model.watts)) return std::nullopt;
  model.samples = *samples;
  return model;
}

std::optional<SpeakerModel> SpeakerModel::fromJSONText(std::string_view text) {
  return JSONFields::decode<SpeakerModel>(text);
}

}  // namespace ebbwise

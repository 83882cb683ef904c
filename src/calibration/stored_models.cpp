#include "calibration/stored_models.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace ebbwise {

namespace {

// The stored bytes as text; nothing unless the value is data.
std::optional<std::string> dataText(sys::UserDefaults& defaults, std::string_view key) {
  std::optional<sys::Value> value = defaults.object(key);
  if (!value || !value->is_binary()) return std::nullopt;
  const auto& bytes = value->get_binary();
  return std::string(bytes.begin(), bytes.end());
}

template <typename Model>
Model loadOne(sys::UserDefaults& defaults, std::string_view key) {
  std::optional<std::string> text = dataText(defaults, key);
  if (!text) return Model{};
  std::optional<Model> model = Model::fromJSONText(*text);
  if (!model) return Model{};
  return StoredModels::plausible(std::move(*model)).value_or(Model{});
}

template <typename Model>
void saveOne(sys::UserDefaults& defaults, std::string_view key, const Model& model) {
  std::string text = model.toJSONText();
  defaults.setObject(key, sys::Value::binary(std::vector<std::uint8_t>(text.begin(), text.end())));
}

bool within(double value, double low, double high) {
  return value >= low && value <= high;
}

}  // namespace

StoredModels StoredModels::load(sys::UserDefaults& defaults) {
  return StoredModels{loadOne<ScreenModel>(defaults, screenKey),
                      loadOne<SpeakerModel>(defaults, speakerKey),
                      loadOne<KeyboardModel>(defaults, keyboardKey),
                      loadOne<ChargingLossModel>(defaults, chargingLossKey)};
}

void StoredModels::save(sys::UserDefaults& defaults) const {
  saveOne(defaults, screenKey, screen);
  saveOne(defaults, speakerKey, speakers);
  saveOne(defaults, keyboardKey, keyboard);
  saveOne(defaults, chargingLossKey, chargingLoss);
}

std::optional<ScreenModel> StoredModels::plausible(ScreenModel model) {
  const ScreenModel::Point* previous = nullptr;
  for (const ScreenModel::Point& p : model.points) {
    if (!within(p.brightness, 0, 1) || !within(p.watts, 0, mostScreenWatts)) return std::nullopt;
    if (previous && (p.brightness < previous->brightness || p.watts < previous->watts)) {
      return std::nullopt;
    }
    previous = &p;
  }
  model.refinements = std::max<std::int64_t>(model.refinements, 0);
  return model;
}

std::optional<SpeakerModel> StoredModels::plausible(SpeakerModel model) {
  if (model.watts && !within(*model.watts, 0, mostStepWatts)) return std::nullopt;
  model.samples = std::max<std::int64_t>(model.samples, 0);
  return model;
}

std::optional<KeyboardModel> StoredModels::plausible(KeyboardModel model) {
  if (model.fullWatts && !within(*model.fullWatts, 0, mostStepWatts)) return std::nullopt;
  return model;
}

std::optional<ChargingLossModel> StoredModels::plausible(ChargingLossModel model) {
  if (model.fraction && !within(*model.fraction, 0, 0.15)) return std::nullopt;
  model.samples = std::max<std::int64_t>(model.samples, 0);
  return model;
}

}  // namespace ebbwise

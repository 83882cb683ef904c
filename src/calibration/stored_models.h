#pragma once

#include <string_view>

#include "calibration/charging_loss_model.h"
#include "calibration/keyboard_model.h"
#include "calibration/screen_model.h"
#include "calibration/speaker_model.h"
#include "sys/user_defaults.h"

namespace ebbwise {

// The four learned models as the user-defaults store keeps them: each one's
// JSON text as a data value under its own key.
struct StoredModels {
  static constexpr std::string_view screenKey = "screenModel";
  static constexpr std::string_view speakerKey = "speakerModel.v2";
  static constexpr std::string_view keyboardKey = "keyboardModel";
  static constexpr std::string_view chargingLossKey = "chargingLossModel";

  // What no run and no charge could have produced (a brightness outside
  // 0…1, a curve that falls, more watts than the part can draw, a loss
  // share outside 0…0.15) is damage: such a model loads as unmeasured.
  // Counters below 0 load as 0.
  static constexpr double mostScreenWatts = 50;
  static constexpr double mostStepWatts = 3;  // speakers and keyboard light

  ScreenModel screen;
  SpeakerModel speakers;
  KeyboardModel keyboard;
  ChargingLossModel chargingLoss;

  // Each key read and decoded on its own; a key that is missing, not data,
  // not one of our documents or not plausible gives the unmeasured model.
  static StoredModels load(sys::UserDefaults& defaults);
  // Writes all four.
  void save(sys::UserDefaults& defaults) const;

  // The plausibility rules above; nothing when the model is damage.
  static std::optional<ScreenModel> plausible(ScreenModel model);
  static std::optional<SpeakerModel> plausible(SpeakerModel model);
  static std::optional<KeyboardModel> plausible(KeyboardModel model);
  static std::optional<ChargingLossModel> plausible(ChargingLossModel model);

  friend bool operator==(const StoredModels&, const StoredModels&) = default;
};

}  // namespace ebbwise

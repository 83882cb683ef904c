#include "sensors/hardware/keyboard_light.h"

#include <algorithm>
#include <cmath>

#include "sys/value.h"

namespace ebbwise {

sys::KeyboardBrightnessClient* KeyboardLight::client() {
  std::call_once(clientOnce_, [this] {
    client_ = coreBrightness_.makeKeyboardClient(kFramework, kClientClass);
  });
  return client_.get();
}

std::optional<std::uint64_t> KeyboardLight::keyboardID(sys::KeyboardBrightnessClient& client) {
  // Performing a selector the object lacks would throw on the platform side.
  if (!client.respondsTo("copyKeyboardBacklightIDs")) return std::nullopt;
  auto ids = client.copyKeyboardBacklightIDs();
  if (!ids || !ids->is_array() || ids->empty()) return std::nullopt;
  for (const sys::Value& id : *ids) {
    if (!id.is_number()) return std::nullopt;
  }
  return sys::asUnsigned(&ids->front());
}

std::optional<double> KeyboardLight::level() {
  auto* keyboardClient = client();
  if (!keyboardClient) return std::nullopt;
  auto id = keyboardID(*keyboardClient);
  if (!id || !keyboardClient->respondsTo("brightnessForKeyboard:")) return std::nullopt;
  const float level = keyboardClient->brightnessForKeyboard(*id);
  if (!std::isfinite(level)) return std::nullopt;
  return level;
}

bool KeyboardLight::setLevel(double level) {
  auto* keyboardClient = client();
  if (!keyboardClient) return false;
  auto id = keyboardID(*keyboardClient);
  if (!id || !keyboardClient->respondsTo("setBrightness:forKeyboard:")) return false;
  const double clamped = std::isnan(level) ? 0.0 : std::clamp(level, 0.0, 1.0);
  return keyboardClient->setBrightness(static_cast<float>(clamped), *id);
}

}  // namespace ebbwise

#include "sensors/hardware/screen.h"

#include <algorithm>
#include <cmath>

namespace ebbwise {

std::optional<sys::DisplayID> Screen::builtInDisplay() {
  auto active = displays_.activeDisplays(kMaxDisplays);
  if (!active) return std::nullopt;
  for (sys::DisplayID display : *active) {
    if (displays_.isBuiltin(display) && !displays_.isAsleep(display)) return display;
  }
  return std::nullopt;
}

const sys::BrightnessGetter& Screen::getter() {
  std::call_once(getterOnce_, [this] {
    getter_ = services_.brightnessGetter(kFramework, "DisplayServicesGetBrightness");
  });
  return getter_;
}

const sys::BrightnessSetter& Screen::setter() {
  std::call_once(setterOnce_, [this] {
    setter_ = services_.brightnessSetter(kFramework, "DisplayServicesSetBrightness");
  });
  return setter_;
}

std::optional<double> Screen::builtInBrightness() {
  auto display = builtInDisplay();
  if (!display) return std::nullopt;
  const auto& get = getter();
  if (!get) return std::nullopt;
  float brightness = 0;
  if (get(*display, brightness) != 0 || !std::isfinite(brightness)) return std::nullopt;
  return brightness;
}

bool Screen::setBuiltInBrightness(double level) {
  auto display = builtInDisplay();
  if (!display) return false;
  const auto& set = setter();
  if (!set) return false;
  const double clamped = std::isnan(level) ? 0.0 : std::clamp(level, 0.0, 1.0);
  return set(*display, static_cast<float>(clamped)) == 0;
}

}  // namespace ebbwise

#pragma once

#include <string>

namespace ebbwise {

// An app that has drawn heavily for minutes while on battery.
struct HeavyAppAlert {
  std::string app;
  double watts = 0;  // the app's smoothed power when the alert was raised

  friend bool operator==(const HeavyAppAlert&, const HeavyAppAlert&) = default;
};

}  // namespace ebbwise

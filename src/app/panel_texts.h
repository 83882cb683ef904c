#pragma once

#include <optional>
#include <string>

#include "app/monitor.h"
#include "sys/value.h"

namespace ebbwise {

// The short texts the notch and the menu bar show for the monitor's state,
// composed by the same display rules the notch draws with.
//
// JSON form:
//   "panels": {
//     "menuBarText": "7.3 W", "80%", "3h 20m" or "–" without a battery,
//     "notchLeft": {"symbol": system symbol name, "text": "−12.3 W"},
//     "notchRight": null or {"caption": "> Empty", "value": "3h20"},
//     "statusLine": "On battery, about 3h 20m left"
//   }
struct PanelTexts {
  std::optional<std::string> menuBarText;
  std::string leftSymbol;
  std::string leftText;
  std::optional<std::string> rightCaption;
  std::optional<std::string> rightValue;
  std::string statusLine;

  static PanelTexts from(const Monitor& monitor);

  // "Notch: [battery ¾] −12.3 W | > Empty 3h20" and the status line, each
  // ending in a line break.
  std::string text() const;
  sys::Value json() const;
};

}  // namespace ebbwise

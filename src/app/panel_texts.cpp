#include "app/panel_texts.h"

#include <string>
#include <string_view>

#include "display_rules/notch_labels.h"
#include "display_rules/power_format.h"
#include "display_rules/status_line.h"

namespace ebbwise {

namespace {

// The notch draws its left label's symbol as an icon; a terminal gets the
// same meaning in words.
std::string symbolInWords(std::string_view symbol) {
  if (symbol == "bolt.fill") return "[charging]";
  if (symbol == "powerplug.fill") return "[plugged in]";
  if (symbol == "battery.100percent") return "[battery full]";
  if (symbol == "battery.75percent") return "[battery \u00BE]";
  if (symbol == "battery.50percent") return "[battery \u00BD]";
  if (symbol == "battery.25percent") return "[battery \u00BC]";
  if (symbol == "battery.0percent") return "[battery low]";
  // Appended rather than concatenated: GCC 12 warns falsely (-Wrestrict) on
  // the concatenation in release builds.
  std::string words = "[";
  words += symbol;
  words += "]";
  return words;
}

}  // namespace

PanelTexts PanelTexts::from(const Monitor& monitor) {
  PanelTexts texts;
  texts.menuBarText = monitor.menuBarText();
  const std::optional<BatteryReading>& battery = monitor.battery;
  const bool onAC = battery && battery->onAC;
  const bool charging = monitor.power.isChargingNow;
  const double percent = battery ? battery->percent : 0;
  texts.leftSymbol = PowerSourceIcon::symbol(onAC, charging, percent);
  texts.leftText = NetPower::label(monitor.netBatteryWatts().value_or(0));
  if (battery) {
    if (auto right =
            NotchRightLabel::lines(monitor.minutesToFull(), onAC, monitor.minutesLeft, percent)) {
      texts.rightCaption = right->caption;
      texts.rightValue = right->value;
    }
  }
  texts.statusLine = StatusLine::text(battery.has_value(), onAC, charging, monitor.minutesLeft,
                                      monitor.minutesToFull());
  return texts;
}

std::string PanelTexts::text() const {
  std::string out;
  if (statusLine.empty()) return out;  // never composed
  if (menuBarText) out += "Menu bar: " + *menuBarText + "\n";
  out += "Notch: " + symbolInWords(leftSymbol) + " " + leftText;
  if (rightCaption && rightValue) out += "  |  " + *rightCaption + " " + *rightValue;
  out += "\nStatus: " + statusLine + "\n";
  return out;
}

sys::Value PanelTexts::json() const {
  sys::Value right = nullptr;
  if (rightCaption && rightValue) right = {{"caption", *rightCaption}, {"value", *rightValue}};
  return {{"menuBarText", menuBarText ? sys::Value(*menuBarText) : sys::Value(nullptr)},
          {"notchLeft", {{"symbol", leftSymbol}, {"text", leftText}}},
          {"notchRight", std::move(right)},
          {"statusLine", statusLine}};
}

}  // namespace ebbwise

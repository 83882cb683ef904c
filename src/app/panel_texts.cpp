#include "app/panel_texts.h"

#include "display_rules/notch_labels.h"
#include "display_rules/power_format.h"
#include "display_rules/status_line.h"

namespace ebbwise {

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
  out += "Notch: " + leftSymbol + " " + leftText;
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

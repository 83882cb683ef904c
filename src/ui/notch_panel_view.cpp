#include "ui/notch_panel_view.h"

#include <algorithm>
#include <cmath>

#include "display_rules/power_format.h"
#include "ui/measuring_canvas.h"
#include "ui/panel_menu.h"
#include "ui/panel_wording.h"

namespace ebbwise::ui {

namespace NotchPanelView {

namespace {

using namespace PanelParts;

constexpr double kTop = 8;      // below the notch's spacer
constexpr double kBottom = 18;  // clear of the panel's rounded corners
constexpr double kBigPower = 30;

double fullWh(const PanelInput& input) {
  const auto& b = input.notch.battery;
  return b && b->fullWh > 0 ? b->fullWh : 50;
}

std::string watts(double value, const PanelInput& input) {
  return PowerFormat::string(value, input.notch.unit, fullWh(input), false, 1, false);
}

// The figure alone, its unit drawn smaller beside it.
std::string bigFigure(const PanelInput& input) {
  if (!input.notch.netBatteryWatts) return "\u2014";
  std::string text = PowerFormat::string(*input.notch.netBatteryWatts, input.notch.unit,
                                         fullWh(input), true, 1, true);
  std::string_view unit = label(input.notch.unit);
  if (text.size() >= unit.size() && text.compare(text.size() - unit.size(), unit.size(), unit) == 0)
    text.erase(text.size() - unit.size());
  return text;
}

double header(Canvas& canvas, const PanelInput& input, double left, double right, double y,
              PanelLayout& layout) {
  std::string caption =
      PanelWording::headerCaption(input.notch.isChargingNow, input.notch.netBatteryWatts);
  Size c = canvas.measure(caption, captionStyle());
  canvas.text(caption, Point{left, y}, captionStyle(), Color::secondary());
  Size big = bigPower(canvas, Point{left, y + c.height}, bigFigure(input),
                      input.notch.unit == PowerUnit::watts ? "W" : "%/h", kBigPower);
  double height = c.height + big.height;

  double tileRight = right;
  if (auto capacity = PanelWording::capacityTile(input)) {
    Size s = statTile(canvas, tileRight, y + 4, capacity->label, capacity->value);
    layout.hotspots.push_back({Box{tileRight - s.width, y + 4, s.width, s.height},
                               {},
                               -1,
                               PanelWording::capacityHelp(input),
                               {}});
    tileRight -= s.width + 18;
    height = std::max(height, s.height + 4);
  }
  if (auto time = PanelWording::timeTile(input)) {
    Size s = statTile(canvas, tileRight, y + 4, time->label, time->value);
    height = std::max(height, s.height + 4);
  }
  return height;
}

double charging(Canvas& canvas, const PanelInput& input, double left, double width, double y,
                PanelLayout& layout) {
  const double inset = 12;
  double inner = width - 2 * inset;
  // Laid out on a measuring pass first, so the card goes under its contents.
  auto contents = [&](Canvas& c, PanelLayout& l) {
    double top = y + inset, cy = top;
    if (input.chargerLabel) {
      cy += noteLine(c, Point{left + inset, cy}, inner, "powerplug.fill", Color::white(),
                     *input.chargerLabel, Color::white(), l) +
            6;
    }
    if (input.chargeFlow) {
      cy += flowBar(c, Box{left + inset, cy, inner, 8}, *input.chargeFlow,
                    [&](double w) { return watts(w, input); }) +
            8;
    }
    if (input.chargerNote) {
      cy += wrapped(c, *input.chargerNote, Point{left + inset, cy}, inner, bodyStyle(),
                    Color::secondary()) +
            6;
    }
    if (input.smartChargingMessage) {
      cy += noteLine(c, Point{left + inset, cy}, inner,
                     input.finishingSlowly ? "clock.badge.checkmark" : "powerplug.fill",
                     Color::rgb24(0x30D158), *input.smartChargingMessage, Color::white(), l,
                     input.smartChargingDetail.value_or("")) +
            6;
    }
    for (const auto& [line, detail] : input.heatWarnings) {
      cy += noteLine(c, Point{left + inset, cy}, inner, "thermometer.high", Color::systemOrange(),
                     line, Color::white(), l, detail) +
            6;
    }
    if (!input.chargeFlow && !input.chargerLabel && !input.smartChargingMessage &&
        input.heatWarnings.empty()) {
      cy += noteLine(c, Point{left + inset, cy}, inner, "powerplug.fill", Color::white(), "Charger",
                     Color::white(), l) +
            6;
    }
    return cy - 6 - top;
  };
  MeasuringCanvas measuring(canvas);
  PanelLayout scratch;
  double height = contents(measuring, scratch) + 2 * inset;
  canvas.fill(Path::roundedRect(Box{left, y, width, height}, cardRadius), cardColor());
  contents(canvas, layout);
  return height;
}

double lowPowerPill(Canvas& canvas, const PanelInput& input, double left, double width, double y,
                    PanelLayout& layout) {
  bool on = input.notch.lowPowerOn;
  TextStyle style(12, FontWeight::medium);
  Size text = canvas.measure("Low Power", style);
  Box pill{left, y, text.width + 44, text.height + 10};
  Color tint = Color::systemYellow();
  canvas.fill(Path::roundedRect(pill, pill.height / 2),
              on ? tint.opacity(0.22) : Color::white().opacity(0.1));
  canvas.icon(on ? "leaf.fill" : "leaf", Box{pill.x + 12, pill.midY() - 7, 14, 14},
              on ? tint : Color::white().opacity(0.8));
  canvas.text("Low Power", Point{pill.x + 32, pill.y + 5}, style, on ? tint : Color::white());
  layout.hotspots.push_back({pill, "lowPower", -1, PanelWording::lowPowerHelp(on), {}});
  double height = pill.height;
  if (input.lowPowerError) {
    height += 6 + wrapped(canvas, *input.lowPowerError, Point{left, y + pill.height + 6}, width,
                          bodyStyle(), Color::systemOrange());
  }
  return height;
}

double tip(Canvas& canvas, double left, double width, double y, PanelLayout& layout) {
  const double inset = 12;
  double inner = width - 2 * inset;
  TextStyle title(12.5, FontWeight::semibold);
  double titleHeight = canvas.measure(PanelWording::tipTitle, title.wrappedAt(inner)).height;
  double textHeight = canvas.measure(PanelWording::tipText, bodyStyle().wrappedAt(inner)).height;
  double buttonHeight =
      canvas.measure("Open settings", TextStyle(11.5, FontWeight::medium)).height + 8;
  double height = inset + titleHeight + 4 + textHeight + 10 + buttonHeight + inset;
  canvas.fill(Path::roundedRect(Box{left, y, width, height}, cardRadius), cardColor());
  double cy = y + inset;
  cy += wrapped(canvas, PanelWording::tipTitle, Point{left + inset, cy}, inner, title,
                Color::white()) +
        4;
  cy += wrapped(canvas, PanelWording::tipText, Point{left + inset, cy}, inner, bodyStyle(),
                Color::secondary()) +
        10;
  Box open = button(canvas, Point{left + inset, cy}, "Open settings", true, true, layout,
                    "openBatterySettings");
  button(canvas, Point{open.maxX() + 8, cy}, "Keep it", false, true, layout, "keepIt");
  return height;
}

double devices(Canvas& canvas, const PanelInput& input, double left, double width, double y,
               PanelLayout& layout) {
  // A name or label from the accessory may be any length: each item is cut
  // to the panel's width.
  const TextStyle style = TextStyle(11, FontWeight::regular, true).cutAt(width - 16);
  double x = left, cy = y, lineHeight = 0;
  for (const PanelDevice& d : input.devices) {
    std::string levels;
    for (const auto& [label, percent] : d.levels) {
      if (!levels.empty()) levels += " ";
      if (!label.empty()) levels += label + " ";
      levels += std::to_string(std::clamp(percent, 0, 100)) + "%";
    }
    Size s = canvas.measure(levels, style);
    double itemWidth = 16 + s.width;
    if (x > left && x + itemWidth > left + width) {
      x = left;
      cy += lineHeight + 4;
    }
    canvas.icon(d.symbol, Box{x, cy + (s.height - 12) / 2, 12, 12}, Color::white().opacity(0.8));
    canvas.text(levels, Point{x + 16, cy}, style, Color::white().opacity(0.85));
    layout.hotspots.push_back({Box{x, cy, itemWidth, s.height}, {}, -1, d.name, {}});
    lineHeight = std::max(lineHeight, s.height);
    x += itemWidth + 14;
  }
  return cy + lineHeight - y;
}

PanelLayout build(Canvas& canvas, const PanelInput& input, const PanelUiState& ui) {
  PanelLayout layout;
  double left = padding, inner = width - 2 * padding, right = width - padding;
  double y = kTop;
  auto section = [&](double height) {
    if (height > 0) y += height + spacing;
  };

  section(header(canvas, input, left, right, y, layout));
  if (input.notch.battery && input.notch.battery->onAC)
    section(charging(canvas, input, left, inner, y, layout));
  if (input.calibration.isAskingToCalibrate)
    section(measureCard(canvas, Point{left, y}, inner, input, layout));

  if (!input.nowRows.empty()) {
    double rows = 0;
    for (const PanelRow& row : input.nowRows) {
      rows += appRow(canvas, Point{left, y + rows}, inner, row, true, input, layout) + 2;
    }
    section(rows - 2);
  }
  if (input.stopError) {
    section(wrapped(canvas, *input.stopError, Point{left, y}, inner, bodyStyle(),
                    Color::systemOrange()));
  }
  // Until the screen is measured its row cannot be split; offer to measure it.
  if (input.calibration.isCalibrating || !input.calibration.screenMeasured)
    section(measureButton(canvas, Point{left, y}, inner, input, layout));

  section(lowPowerPill(canvas, input, left, inner, y, layout));
  if (input.showHideBatteryIconTip) section(tip(canvas, left, inner, y, layout));
  if (!input.devices.empty()) section(devices(canvas, input, left, inner, y, layout));

  // The settings menu, behind its symbol at the foot.
  settingsFooter(canvas, left, y, inner, width, "ellipsis.circle", 20,
                 PanelMenu::notchSettings(input), kBottom, ui, layout);
  return layout;
}

}  // namespace

PanelLayout draw(Canvas& canvas, const PanelInput& input, const PanelUiState& ui) {
  return build(canvas, input, ui);
}

PanelLayout layout(Canvas& fonts, const PanelInput& input, const PanelUiState& ui) {
  MeasuringCanvas measuring(fonts);
  return build(measuring, input, ui);
}

}  // namespace NotchPanelView

}  // namespace ebbwise::ui

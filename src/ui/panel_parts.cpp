#include "ui/panel_parts.h"

#include <algorithm>
#include <cmath>

#include "display_rules/power_format.h"
#include "ui/panel_wording.h"
#include "ui/row_icon.h"

namespace ebbwise::ui {

const PanelHotspot* PanelLayout::actionAt(Point p) const {
  // Later hotspots lie on top of earlier ones.
  for (auto it = hotspots.rbegin(); it != hotspots.rend(); ++it) {
    if (!it->action.empty() && it->box.contains(p)) return &*it;
  }
  return nullptr;
}

const PanelHotspot* PanelLayout::helpAt(Point p) const {
  for (auto it = hotspots.rbegin(); it != hotspots.rend(); ++it) {
    if (!it->help.empty() && it->box.contains(p)) return &*it;
  }
  return nullptr;
}

const PanelHotspot* PanelLayout::find(std::string_view action) const {
  for (const PanelHotspot& h : hotspots) {
    if (h.action == action) return &h;
  }
  return nullptr;
}

namespace PanelParts {

namespace {

constexpr double kRowIcon = 16;
constexpr double kShareBar = 56;

const TextStyle kCaption(11, FontWeight::medium);
const TextStyle kBody(12);
const TextStyle kRowName(12.5, FontWeight::medium);
const TextStyle kRowCaption(10.5);
const TextStyle kRowFigure(12, FontWeight::semibold, true);
const TextStyle kSmallFigure(10.5, FontWeight::regular, true);
const TextStyle kTileLabel(10.5);
const TextStyle kTileValue(15, FontWeight::semibold, true);
const TextStyle kButton(11.5, FontWeight::medium);
const TextStyle kMenu(12);
const TextStyle kSection(10.5, FontWeight::semibold);

double fullWh(const PanelInput& input) {
  const auto& b = input.notch.battery;
  return b && b->fullWh > 0 ? b->fullWh : 50;
}

std::string power(double watts, const PanelInput& input, const char* wattsFormat) {
  if (input.notch.unit == PowerUnit::watts) return PanelWording::figure(wattsFormat, watts);
  return PowerFormat::string(watts, input.notch.unit, fullWh(input), false, 1, false);
}

double finiteOr(double value, double fallback) {
  return std::isfinite(value) ? value : fallback;
}

}  // namespace

const TextStyle& captionStyle() {
  return kCaption;
}

const TextStyle& bodyStyle() {
  return kBody;
}

Color cardColor() {
  return Color::white().opacity(0.07);
}

double wrapped(Canvas& canvas, std::string_view text, Point at, double width,
               const TextStyle& style, const Color& color) {
  if (text.empty()) return 0;
  TextStyle s = style.wrappedAt(std::max(width, 1.0));
  Size size = canvas.measure(text, s);
  canvas.text(text, at, s, color);
  return size.height;
}

Size bigPower(Canvas& canvas, Point at, const std::string& text, std::string_view unit,
              double size) {
  TextStyle big(size, FontWeight::semibold, true);
  TextStyle small(size * 0.45, FontWeight::semibold);
  Size figure = canvas.measure(text, big);
  Size unitSize = canvas.measure(unit, small);
  canvas.text(text, at, big, Color::white());
  // The unit sits on the figure's baseline, roughly.
  canvas.text(unit,
              Point{at.x + figure.width + 3, at.y + figure.height - unitSize.height - size * 0.12},
              small, Color::secondary());
  return Size{figure.width + 3 + unitSize.width, figure.height};
}

Size statTile(Canvas& canvas, double right, double top, const std::string& label,
              const std::string& value) {
  Size l = canvas.measure(label, kTileLabel.cutAt(140));
  Size v = canvas.measure(value, kTileValue.cutAt(140));
  double width = std::max(l.width, v.width);
  canvas.text(label, Point{right - l.width, top}, kTileLabel.cutAt(140), Color::secondary());
  canvas.text(value, Point{right - v.width, top + l.height + 1}, kTileValue.cutAt(140),
              Color::white());
  return Size{width, l.height + 1 + v.height};
}

double dotLabel(Canvas& canvas, Point at, const Color& color, const std::string& text) {
  Size size = canvas.measure(text, kSmallFigure);
  canvas.fill(Path::ellipse(Box{at.x, at.y + size.height / 2 - 3, 6, 6}), color);
  canvas.text(text, Point{at.x + 10, at.y}, kSmallFigure, Color::white().opacity(0.85));
  return 10 + size.width;
}

double flowBar(Canvas& canvas, const Box& box, const ChargeFlow& flow,
               const std::function<std::string(double)>& format) {
  double in = std::max(finiteOr(flow.inWatts, 0), 0.0);
  double used = std::max(finiteOr(flow.usedWatts, 0), 0.0);
  double battery = in - used;  // negative: the battery makes up what the charger lacks
  bool charging = battery >= 0;
  // Charging, the bar is what comes in: what the Mac uses, then what goes
  // into the battery. Draining, it is what the Mac uses: what the charger
  // gives, then what the battery adds.
  double whole = std::max(charging ? in : used, 0.001);
  double first = charging ? used : in;
  Color firstColor = charging ? Color::systemBlue() : Color::systemGray();
  Color second = charging ? Color::rgb24(0x30D158) : Color::systemOrange();
  const double barHeight = 8;
  canvas.fill(Path::roundedRect(Box{box.x, box.y, box.width, barHeight}, barHeight / 2),
              Color::white().opacity(0.08));
  double firstWidth = std::clamp(first / whole, 0.0, 1.0) * box.width;
  double secondWidth = std::clamp(std::abs(battery) / whole, 0.0, 1.0) * box.width;
  secondWidth = std::min(secondWidth, box.width - firstWidth);
  if (firstWidth > 0) {
    canvas.fill(Path::roundedRect(Box{box.x, box.y, firstWidth, barHeight}, barHeight / 2),
                firstColor);
  }
  if (secondWidth > 0) {
    canvas.fill(
        Path::roundedRect(Box{box.x + firstWidth, box.y, secondWidth, barHeight}, barHeight / 2),
        second);
  }
  double y = box.y + barHeight + 5;
  double x = box.x;
  x += dotLabel(canvas, Point{x, y}, firstColor, (charging ? "Mac " : "Charger ") + format(first)) +
       12;
  dotLabel(canvas, Point{x, y}, second,
           (charging ? "Battery +" : "Battery \u2212") + format(std::abs(battery)));
  std::string total = charging ? format(in) + " in" : "Mac uses " + format(used);
  Size totalSize = canvas.measure(total, kSmallFigure);
  canvas.text(total, Point{box.maxX() - totalSize.width, y}, kSmallFigure, Color::secondary());
  return barHeight + 5 + totalSize.height;
}

double noteLine(Canvas& canvas, Point at, double width, std::string_view symbol,
                const Color& symbolColor, std::string_view text, const Color& textColor,
                PanelLayout& layout, const std::string& help) {
  const double icon = 13;
  canvas.icon(symbol, Box{at.x, at.y + 1, icon, icon}, symbolColor);
  double height = std::max(
      wrapped(canvas, text, Point{at.x + icon + 6, at.y}, width - icon - 6, kBody, textColor),
      icon + 2);
  if (!help.empty()) layout.hotspots.push_back({Box{at.x, at.y, width, height}, {}, -1, help, {}});
  return height;
}

double appRow(Canvas& canvas, Point at, double width, const PanelRow& row, bool compact,
              const PanelInput& input, PanelLayout& layout) {
  const double inset = rowInset;
  double x = at.x + inset, right = at.x + width - inset;
  Color tint = row.color.value_or(Color::white().opacity(0.85));

  // The figures on the right, then the name gets what is left.
  // Compact rows: the power now. Full rows: the energy used and the share,
  // each in its column.
  std::vector<std::pair<std::string, double>> figures;  // text, column's right edge
  double figureWidth = 0;
  if (compact) {
    if (row.watts) {
      std::string text = power(*row.watts, input, "%.1f W");
      figureWidth = canvas.measure(text, kRowFigure.cutAt(80)).width;
      figures.push_back({text, right});
    }
  } else {
    figures.push_back({PanelWording::figure("%.0f%%", row.fraction * 100), right});
    figures.push_back(
        {row.joules ? PanelWording::figure("%.1f Wh", *row.joules / 3600) : std::string("\u2014"),
         right - shareColumn});
    figureWidth = shareColumn + usedColumn;
  }
  double barRight = right - figureWidth - 8;
  double barLeft = barRight - kShareBar;
  double nameLeft = x + kRowIcon + 8;
  double nameWidth = std::max(barLeft - 10 - nameLeft, 20.0);

  std::string caption = PanelWording::rowCaption(row.name, input.speakersKeptOnBy,
                                                 input.calibration.speakerWatts.has_value());
  std::string facts = row.facts ? PanelWording::factsLine(*row.facts) : std::string();
  if (!compact && row.watts) {
    std::string now = power(*row.watts, input, "%.1f W") + " now";
    caption = caption.empty() ? now : caption + " \u00B7 " + now;
  }

  double top = at.y + 6;
  Size name = canvas.measure(row.name, kRowName.cutAt(nameWidth));
  double textHeight = name.height;
  Size captionSize;
  if (!caption.empty()) {
    captionSize = canvas.measure(caption, kRowCaption.wrappedAt(nameWidth));
    textHeight += 1 + captionSize.height;
  }
  Size factsSize;
  if (!facts.empty()) {
    factsSize = canvas.measure(facts, kRowCaption.wrappedAt(width - 2 * inset - kRowIcon - 8));
    textHeight += 2 + factsSize.height;
  }
  double height = std::max(textHeight, kRowIcon) + 12;
  double stopHeight = 0;
  if (row.facts && row.facts->canStop) stopHeight = 24;
  height += stopHeight + (row.facts && row.facts->orphaned ? 18 : 0);

  canvas.fill(Path::roundedRect(Box{at.x, at.y, width, height}, 8), cardColor());
  RowIcon::draw(canvas, row.name, Box{x, top + (name.height - kRowIcon) / 2, kRowIcon, kRowIcon},
                row.color, row.icon.get());
  canvas.text(row.name, Point{nameLeft, top}, kRowName.cutAt(nameWidth), Color::white());
  double y = top + name.height;
  if (!caption.empty()) {
    canvas.text(caption, Point{nameLeft, y + 1}, kRowCaption.wrappedAt(nameWidth),
                Color::secondary());
    y += 1 + captionSize.height;
  }

  // The share as a bar and a figure.
  double share = std::isfinite(row.fraction) ? std::clamp(row.fraction, 0.0, 1.0) : 0;
  double barY = top + name.height / 2 - 2;
  canvas.fill(Path::roundedRect(Box{barLeft, barY, kShareBar, 4}, 2), Color::white().opacity(0.1));
  if (share > 0) {
    canvas.fill(Path::roundedRect(Box{barLeft, barY, std::max(share * kShareBar, 2.0), 4}, 2),
                tint);
  }
  for (const auto& [text, columnRight] : figures) {
    TextStyle style = kRowFigure.cutAt(compact ? 80 : usedColumn - 4);
    Size s = canvas.measure(text, style);
    canvas.text(text, Point{columnRight - s.width, top}, style, Color::white());
  }

  if (!facts.empty()) {
    canvas.text(facts, Point{nameLeft, y + 2},
                kRowCaption.wrappedAt(width - 2 * inset - kRowIcon - 8), Color::secondary());
    y += 2 + factsSize.height;
  }
  if (row.facts) {
    y += 4;
    if (row.facts->orphaned) {
      noteLine(canvas, Point{nameLeft, y}, right - nameLeft, "exclamationmark.triangle.fill",
               Color::systemOrange(),
               "What started it has closed, so nothing will stop it for you.",
               Color::systemOrange(), layout);
      y += 18;
    }
    if (row.facts->canStop) {
      button(canvas, Point{nameLeft, y}, PanelWording::stopTitle(*row.facts), false, true, layout,
             "stop");
      layout.hotspots.back().row = row.name;
    }
  }
  return height;
}

Box button(Canvas& canvas, Point at, const std::string& title, bool prominent, bool enabled,
           PanelLayout& layout, const std::string& action) {
  Size size = canvas.measure(title, kButton.cutAt(300));
  Box box{at.x, at.y, size.width + 20, size.height + 8};
  Color fill = prominent ? Color::systemBlue() : Color::white().opacity(0.12);
  canvas.fill(Path::roundedRect(box, 6), enabled ? fill : fill.opacity(0.5));
  canvas.text(title, Point{at.x + 10, at.y + 4}, kButton.cutAt(300),
              enabled ? Color::white() : Color::white().opacity(0.4));
  if (enabled) layout.hotspots.push_back({box, action, -1, {}, {}});
  return box;
}

double measureButton(Canvas& canvas, Point at, double width, const PanelInput& input,
                     PanelLayout& layout) {
  const PanelCalibration& c = input.calibration;
  std::string title = PanelWording::measureTitle(c);
  if (!c.isCalibrating) {
    return button(canvas, at, title, false, true, layout, PanelMenu::measure).height;
  }
  Size size = canvas.measure(title, kButton);
  canvas.text(title, at, kButton, Color::secondary());
  double progress = std::isfinite(c.progress) ? std::clamp(c.progress, 0.0, 1.0) : 0;
  Box track{at.x, at.y + size.height + 4, width, 4};
  canvas.fill(Path::roundedRect(track, 2), Color::white().opacity(0.1));
  if (progress > 0) {
    canvas.fill(Path::roundedRect(Box{track.x, track.y, width * progress, 4}, 2),
                Color::systemBlue());
  }
  return size.height + 8;
}

double measureCard(Canvas& canvas, Point at, double width, const PanelInput& input,
                   PanelLayout& layout) {
  const double inset = 12;
  double inner = width - 2 * inset;
  double x = at.x + inset, y = at.y + inset;
  // Laid out first, so the card is drawn under its contents.
  std::string title = "Measure your screen and speakers";
  std::string text = PanelWording::cardText(input.calibration, input.brightness);
  TextStyle titleStyle(13, FontWeight::semibold);
  double titleHeight = canvas.measure(title, titleStyle.wrappedAt(inner)).height;
  double textHeight = canvas.measure(text, kBody.wrappedAt(inner)).height;
  std::optional<std::string> note =
      input.calibration.error ? input.calibration.error : input.calibration.speakerNote;
  double noteHeight = note ? canvas.measure(*note, kBody.wrappedAt(inner)).height + 8 : 0;
  double buttonHeight = canvas.measure("Start", kButton).height + 8;
  double height = inset + titleHeight + 6 + textHeight + 10 + buttonHeight + noteHeight + inset;
  canvas.fill(Path::roundedRect(Box{at.x, at.y, width, height}, cardRadius), cardColor());

  y += wrapped(canvas, title, Point{x, y}, inner, titleStyle, Color::white()) + 6;
  y += wrapped(canvas, text, Point{x, y}, inner, kBody, Color::white().opacity(0.85)) + 10;
  Box start = button(canvas, Point{x, y}, "Start", true, true, layout, "calibrate");
  button(canvas, Point{start.maxX() + 8, y}, "Not now", false, true, layout, "notNow");
  y += buttonHeight + 8;
  if (note) wrapped(canvas, *note, Point{x, y}, inner, kBody, Color::systemOrange());
  return height;
}

double menu(Canvas& canvas, Point at, double width, const std::vector<MenuItem>& items,
            PanelLayout& layout) {
  double y = at.y;
  for (const MenuItem& item : items) {
    Color text = item.enabled ? Color::white() : Color::white().opacity(0.35);
    switch (item.kind) {
      case MenuItem::Kind::divider:
        divider(canvas, at.x, y + 4, width);
        y += 9;
        break;
      case MenuItem::Kind::section:
        y += 4;
        canvas.text(item.title, Point{at.x, y}, kSection, Color::secondary());
        y += canvas.measure(item.title, kSection).height + 3;
        break;
      case MenuItem::Kind::text:
        y += wrapped(canvas, item.title, Point{at.x + 18, y}, width - 18, kBody,
                     Color::white().opacity(0.75)) +
             3;
        break;
      case MenuItem::Kind::toggle:
      case MenuItem::Kind::button: {
        Size size = canvas.measure(item.title, kMenu.cutAt(width - 18));
        if (item.kind == MenuItem::Kind::toggle && item.on) {
          canvas.text("\u2713", Point{at.x + 2, y}, kMenu, text);
        }
        canvas.text(item.title, Point{at.x + 18, y}, kMenu.cutAt(width - 18), text);
        if (item.enabled && !item.action.empty())
          layout.hotspots.push_back(
              {Box{at.x, y, width, size.height + 4}, item.action, -1, {}, {}});
        y += size.height + 4;
        break;
      }
      case MenuItem::Kind::picker: {
        Size size = canvas.measure(item.title, kMenu);
        canvas.text(item.title, Point{at.x + 18, y}, kMenu, text);
        y += size.height + 2;
        for (std::size_t i = 0; i < item.choices.size(); ++i) {
          const std::string& choice = item.choices[i];
          Size c = canvas.measure(choice, kMenu.cutAt(width - 36));
          if (static_cast<int>(i) == item.chosen) {
            canvas.text("\u2713", Point{at.x + 20, y}, kMenu, text);
          }
          canvas.text(choice, Point{at.x + 36, y}, kMenu.cutAt(width - 36),
                      item.enabled ? Color::white().opacity(0.85) : text);
          if (item.enabled)
            layout.hotspots.push_back(
                {Box{at.x, y, width, c.height + 3}, item.action, static_cast<int>(i), {}, {}});
          y += c.height + 3;
        }
        y += 2;
        break;
      }
    }
  }
  return y - at.y;
}

void tooltip(Canvas& canvas, const PanelLayout& layout, const PanelUiState& ui, double width) {
  if (!ui.pointer) return;
  const PanelHotspot* h = layout.helpAt(*ui.pointer);
  if (!h) return;
  const double inset = 8;
  double boxWidth = std::min(280.0, width - 2 * padding);
  TextStyle style = kBody.wrappedAt(boxWidth - 2 * inset);
  Size text = canvas.measure(h->help, style);
  boxWidth = std::min(boxWidth, text.width + 2 * inset);
  double x = std::clamp(h->box.x, padding, std::max(width - padding - boxWidth, padding));
  Box box{x, h->box.maxY() + 4, boxWidth, text.height + 2 * inset};
  canvas.fill(Path::roundedRect(box, 6), Color::gray(0.2));
  canvas.stroke(Path::roundedRect(box, 6), Stroke(0.5), Color::white().opacity(0.2));
  canvas.text(h->help, Point{box.x + inset, box.y + inset}, style, Color::white());
}

void divider(Canvas& canvas, double x, double y, double width) {
  canvas.fill(Path::rect(Box{x, y, width, 0.5}), Color::white().opacity(0.15));
}

void settingsFooter(Canvas& canvas, double left, double y, double inner, double panelWidth,
                    std::string_view symbol, double size, const std::vector<MenuItem>& items,
                    double bottom, const PanelUiState& ui, PanelLayout& layout) {
  divider(canvas, left, y, inner);
  y += 8;
  const Box button{left + inner - size, y, size, size};
  canvas.icon(symbol, button, ui.menuOpen ? Color::white() : Color::white().opacity(0.7));
  layout.hotspots.push_back({button.insetBy(-4, -4), "menu", -1, "Settings", {}});
  y += button.height;
  if (ui.menuOpen) {
    y += 8;
    y += menu(canvas, Point{left, y}, inner, items, layout);
  }
  layout.height = y + bottom;
  tooltip(canvas, layout, ui, panelWidth);
}

}  // namespace PanelParts

}  // namespace ebbwise::ui

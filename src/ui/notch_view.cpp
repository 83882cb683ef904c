#include "ui/notch_view.h"

#include <algorithm>
#include <cmath>

#include "display_rules/notch_labels.h"
#include "ui/notch_metrics.h"
#include "ui/notch_shape.h"
#include "ui/row_icon.h"

namespace ebbwise::ui {

namespace {

using namespace NotchMetrics;

constexpr double kFallbackFullWh = 50;  // for percent-per-hour figures without a capacity
constexpr double kLabelGap = 6;         // between the flare and a label's inner edge
constexpr double kLabelDrop = 3;        // labels sit this far below the top
constexpr double kHogIcon = 11;
constexpr double kHogOverlap = 6.6;

const TextStyle kFigure(10.5, FontWeight::semibold, true);
const TextStyle kCaption(8.5, FontWeight::medium);

double lerp(double a, double b, double t) {
  return a + (b - a) * t;
}

std::optional<double> percentOf(const NotchViewInput& input) {
  if (!input.battery) return std::nullopt;
  return input.battery->percent;
}

double fullWh(const NotchViewInput& input) {
  return input.battery && input.battery->fullWh > 0 ? input.battery->fullWh : kFallbackFullWh;
}

// Minutes that make no sense as a time (negative, not a number) are no time.
std::optional<double> sane(std::optional<double> minutes) {
  if (!minutes || !(*minutes >= 0)) return std::nullopt;
  return minutes;
}

// A label: its parts stacked in a centred column.
struct Column {
  struct Item {
    Size size;
    std::function<void(Canvas&, Point)> draw;
  };
  std::vector<Item> items;

  Size size() const {
    Size s;
    for (const Item& i : items) {
      s.width = std::max(s.width, i.size.width);
      s.height += i.size.height;
    }
    return s;
  }

  void draw(Canvas& canvas, Point topLeft) const {
    double width = size().width, y = topLeft.y;
    for (const Item& i : items) {
      i.draw(canvas, Point{topLeft.x + (width - i.size.width) / 2, y});
      y += i.size.height;
    }
  }
};

Column::Item textItem(Canvas& canvas, std::string text, const TextStyle& style, double minHeight) {
  Size size = canvas.measure(text, style);
  double height = std::max(size.height, minHeight);
  return {Size{size.width, height},
          [text = std::move(text), style, size, height](Canvas& c, Point p) {
            c.text(text, Point{p.x, p.y + (height - size.height) / 2}, style, Color::white());
          }};
}

Column leftLabel(Canvas& canvas, const NotchViewInput& input) {
  Column column;
  bool onAC = input.battery && input.battery->onAC;
  double percent = percentOf(input).value_or(100);
  std::string symbol =
      input.lowPowerOn ? "leaf.fill"
                       : std::string(PowerSourceIcon::symbol(onAC, input.isChargingNow, percent));
  Color color = input.lowPowerOn ? Color::systemYellow() : Color::white();
  // Batteries lie on their side and need the width; the others are upright.
  Size icon = symbol.starts_with("battery") ? Size{17, 8.5} : Size{10, 10};
  column.items.push_back(
      {Size{icon.width, labelTopLine}, [symbol, color, icon](Canvas& c, Point p) {
         c.icon(symbol, Box{p.x, p.y + (labelTopLine - icon.height) / 2, icon.width, icon.height},
                color);
       }});
  if (input.netBatteryWatts) {
    column.items.push_back(textItem(
        canvas,
        PowerFormat::string(*input.netBatteryWatts, input.unit, fullWh(input), true, 0, true),
        kFigure, 0));
  }
  return column;
}

// One app's icon as a small dark tile, so that overlapping icons read as a
// stack.
void hogIcon(Canvas& canvas, std::string_view name, const Box& box, const sys::Image* image) {
  // An app's own icon is a tile already.
  if (image) return RowIcon::draw(canvas, name, box, std::nullopt, image);
  canvas.fill(Path::roundedRect(box, box.width * 0.26), Color::gray(0.24));
  canvas.stroke(Path::roundedRect(box, box.width * 0.26), Stroke(0.75), Color::black());
  RowIcon::draw(canvas, name, box.insetBy(box.width * 0.18, box.height * 0.18));
}

std::optional<Column> rightLabel(Canvas& canvas, const NotchViewInput& input) {
  std::size_t count = std::min(input.hogs.size(), NotchView::maxHogs);
  if (count > 0) {
    std::vector<std::string> names;
    double sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
      names.push_back(input.hogs[i].first);
      if (std::isfinite(input.hogs[i].second)) sum += input.hogs[i].second;
    }
    Column column;
    double width = kHogIcon + (count - 1) * (kHogIcon - kHogOverlap);
    column.items.push_back(
        {Size{width, kHogIcon}, [names, icons = input.hogIcons](Canvas& c, Point p) {
           // The heaviest app in front, carrying the warning badge.
           for (std::size_t i = names.size(); i-- > 0;) {
             hogIcon(c, names[i], Box{p.x + i * (kHogIcon - kHogOverlap), p.y, kHogIcon, kHogIcon},
                     RowIcon::find(icons, names[i]));
           }
           Point badge{p.x + kHogIcon / 2 + 4, p.y + kHogIcon / 2 + 3};
           c.fill(Path::ellipse(Box{badge.x - 4, badge.y - 4, 8, 8}), Color::black());
           c.icon("exclamationmark.triangle.fill", Box{badge.x - 3, badge.y - 3, 6, 6},
                  Color::systemOrange());
         }});
    column.items.push_back(textItem(
        canvas, PowerFormat::string(sum, input.unit, fullWh(input), false, 0, true), kFigure, 0));
    return column;
  }
  if (!input.battery) return std::nullopt;
  auto lines = NotchRightLabel::lines(sane(input.minutesToFull), input.battery->onAC,
                                      sane(input.minutesLeft), input.battery->percent);
  if (!lines) return std::nullopt;
  Column column;
  column.items.push_back(textItem(canvas, lines->caption, kCaption, labelTopLine));
  column.items.push_back(textItem(canvas, lines->value, kFigure, 0));
  return column;
}

// Places a label beside the notch: in a frame as tall as the notch, 6 points
// outside the flare, against the notch's side.
void placeLabel(Canvas& canvas, const Column& label, const Size& notch, bool left) {
  Size size = label.size();
  double innerEdge = notch.width / 2 + closedFlare + kLabelGap;
  double x = left ? -innerEdge - size.width : innerEdge;
  double y = kLabelDrop + (notch.height - size.height) / 2;
  label.draw(canvas, Point{x, y});
}

Paint lineStyle(const NotchViewInput& input, const Box& bounds) {
  if (auto colours = gradient(input.lineTheme)) {
    LinearGradient g{{bounds.x, 0}, {bounds.maxX(), 0}, {}};
    std::size_t n = colours->size();
    for (std::size_t i = 0; i < n; ++i) {
      g.stops.push_back(
          {n > 1 ? static_cast<double>(i) / (n - 1) : 0, Color::rgb24((*colours)[i])});
    }
    return g;
  }
  return NotchView::lineColor(input.lineTheme, percentOf(input));
}

void batteryLine(Canvas& canvas, const NotchViewInput& input, const NotchState& state,
                 const NotchMotion& motion, const NotchView::TabShape& tab) {
  OpacityLayer layer(canvas, NotchView::fullscreenOpacity(input, state));
  // The outline runs just outside the black tab.
  Box rect{-tab.size.width / 2 - lineWidth / 2, 0, tab.size.width + lineWidth,
           tab.size.height + lineWidth / 2};
  Path outline = NotchShape{tab.flare, tab.radius, true}.path(rect);
  Stroke stroke(lineWidth);
  canvas.stroke(outline, stroke, Color::systemGray().opacity(0.25));
  double level = std::isnan(motion.level) ? 0 : std::clamp(motion.level, 0.0, 1.0);
  if (level > 0) {
    canvas.stroke(outline.trimmed(0, level), stroke,
                  lineStyle(input, outline.bounds().value_or(rect)));
  }
  if (input.isChargingNow) {
    ChargingSweep::Segment s = ChargingSweep::segment(NotchView::level(input), motion.sweepPhase);
    if (s.to > s.from && s.opacity > 0) {
      canvas.stroke(outline.trimmed(s.from, s.to), stroke, Color::white().opacity(s.opacity));
    }
  }
}

void demoNotch(Canvas& canvas, const NotchState& state) {
  Size notch = state.notchSize;
  Box tabRect{-notch.width / 2 - closedFlare, 0, notch.width + 2 * closedFlare, notch.height};
  canvas.stroke(NotchShape{closedFlare, closedRadius, true}.path(tabRect), Stroke(0.75),
                Color::white().opacity(0.18));
  double top = notch.height / 2 - 2.75;
  Box lens{-2.75, top, 5.5, 5.5};
  canvas.fill(
      Path::ellipse(lens),
      RadialGradient{{0, lens.midY()}, 3, {{0, Color::gray(0.28)}, {1, Color::gray(0.08)}}});
  canvas.fill(Path::ellipse(Box{-0.8 - 0.6, lens.midY() - 0.8 - 0.6, 1.6, 1.6}),
              Color::systemBlue().opacity(0.25));
}

}  // namespace

namespace NotchView {

double level(const NotchViewInput& input) {
  if (!input.battery) return 1;
  return BatteryColor::fraction(input.battery->percent);
}

Color lineColor(LineTheme theme, std::optional<double> percent) {
  double x = percent ? (*percent - 10) / 80 : 1.125;
  double c = std::isnan(x) ? 0.0 : std::clamp(x, 0.0, 1.0);
  if (theme == LineTheme::mana) return Color::hsb(0.53 + 0.34 * c, 0.62, 1.0);
  return Color::hsb(0.33 * c, 0.95, 0.85);
}

double fullscreenOpacity(const NotchViewInput& input, const NotchState& state) {
  if (!input.isFullscreen || state.isOpen) return 1;
  return opacity(input.fullscreenStyle);
}

TabShape tab(const NotchState& state, double openness) {
  double o = std::isnan(openness) ? 0.0 : std::clamp(openness, -0.2, 1.2);
  Size closed{state.notchSize.width + 2 * closedFlare, state.notchSize.height};
  Size open{panelWidth + 2 * openFlare,
            state.notchSize.height + std::min(state.panelContentHeight, state.maxPanelHeight)};
  Size size{std::max(lerp(closed.width, open.width, o), 0.0),
            std::max(lerp(closed.height, open.height, o), 0.0)};
  return TabShape{size, std::max(lerp(closedFlare, openFlare, o), 0.0),
                  std::max(lerp(closedRadius, openRadius, o), 0.0)};
}

void draw(Canvas& canvas, const NotchViewInput& input, const NotchState& state,
          const NotchMotion& motion, const PanelContents& panel) {
  TabShape shape = tab(state, motion.openness);
  Box tabRect{-shape.size.width / 2, 0, shape.size.width, shape.size.height};
  Path tabPath = NotchShape{shape.flare, shape.radius, false}.path(tabRect);

  batteryLine(canvas, input, state, motion, shape);
  canvas.fill(tabPath, Color::black());

  if ((state.isOpen || state.isPreparing) && panel) {
    SavedState saved(canvas);
    canvas.clip(tabPath);
    OpacityLayer layer(canvas, motion.panelOpacity);
    canvas.translate(-panelWidth / 2, state.notchSize.height);
    panel(canvas, Size{panelWidth, std::min(state.panelContentHeight, state.maxPanelHeight)});
  }

  if (input.demoNotch && !state.isOpen) demoNotch(canvas, state);

  double labels = state.isOpen ? 0 : fullscreenOpacity(input, state);
  if (labels <= 0) return;
  OpacityLayer layer(canvas, labels);
  placeLabel(canvas, leftLabel(canvas, input), state.notchSize, true);
  if (auto right = rightLabel(canvas, input)) placeLabel(canvas, *right, state.notchSize, false);
}

}  // namespace NotchView

NotchMotion NotchMotion::resting(const NotchState& state, const NotchViewInput& input) {
  double open = state.isOpen ? 1 : 0;
  return NotchMotion{open, open, NotchView::level(input), 0};
}

}  // namespace ebbwise::ui

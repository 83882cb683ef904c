#include "ui/panel_view.h"

#include <algorithm>

#include "ui/measuring_canvas.h"
#include "ui/panel_menu.h"
#include "ui/panel_wording.h"

namespace ebbwise::ui {

namespace PanelView {

namespace {

using namespace PanelParts;

constexpr double kSegmentHeight = 24;

double rangePicker(Canvas& canvas, const PanelInput& input, double left, double width, double y,
                   PanelLayout& layout) {
  Box track{left, y, width, kSegmentHeight};
  canvas.fill(Path::roundedRect(track, 7), Color::white().opacity(0.08));
  double segment = width / PanelWording::rangeTitles.size();
  const TextStyle style(11.5, FontWeight::medium);
  for (std::size_t i = 0; i < PanelWording::rangeTitles.size(); ++i) {
    Box box{left + i * segment, y, segment, kSegmentHeight};
    bool chosen = static_cast<int>(i) == input.range;
    if (chosen) canvas.fill(Path::roundedRect(box.insetBy(2, 2), 5), Color::white().opacity(0.2));
    std::string_view title = PanelWording::rangeTitles[i];
    Size s = canvas.measure(title, style);
    canvas.text(title, Point{box.midX() - s.width / 2, box.midY() - s.height / 2}, style,
                chosen ? Color::white() : Color::white().opacity(0.7));
    layout.hotspots.push_back({box, rangeAction, static_cast<int>(i), {}, {}});
  }
  return kSegmentHeight;
}

double summary(Canvas& canvas, const PanelInput& input, double left, double width, double y) {
  bool paused = input.range == 0 && input.notch.battery && input.notch.battery->onAC;
  std::string first =
      paused ? "paused while plugged in" : PanelWording::onBattery(input.rangeSeconds);
  std::string second = PanelWording::percents(input.percentAtStart, input.percentNow);
  std::string used = PanelWording::used(input.rangeJoules);
  second = second.empty() ? used : second + " \u00B7 " + used;
  TextStyle strong(13, FontWeight::semibold);
  double height = wrapped(canvas, first, Point{left, y}, width, strong, Color::white());
  height += 2 + wrapped(canvas, second, Point{left, y + height + 2}, width, bodyStyle(),
                        Color::secondary());
  return height;
}

double charts(Canvas& canvas, const PanelInput& input, double left, double width, double y,
              const PanelUiState& ui) {
  bool noSession = input.range == 0 && !input.hasSession;
  if (noSession || (input.chart.drainHistory.empty() && input.shares.empty())) {
    return wrapped(canvas, noSession ? PanelWording::trackingStarts : PanelWording::notEnoughData,
                   Point{left, y}, width, bodyStyle(), Color::secondary());
  }
  double height = 0;
  if (!input.chart.drainHistory.empty()) {
    SavedState saved(canvas);
    canvas.translate(left, y);
    DrainChart::draw(canvas, input.chart, width);
    height += DrainChart::height;
  }
  if (input.range == 0) {
    double bars = SinceChargeBars::height(input.bars);
    if (bars > 0) {
      if (height > 0) height += 8;
      SavedState saved(canvas);
      canvas.translate(left, y + height);
      SinceChargeBars::draw(canvas, input.bars, width, ui.pulse);
      height += bars;
    }
  }
  return height;
}

double appList(Canvas& canvas, const PanelInput& input, double left, double width, double y,
               PanelLayout& layout) {
  if (input.shares.empty()) return 0;
  const TextStyle heading(10.5, FontWeight::semibold);
  Size share = canvas.measure("Share", heading);
  Size used = canvas.measure("Used", heading);
  double right = left + width - rowInset;
  canvas.text("Share", Point{right - share.width, y}, heading, Color::secondary());
  canvas.text("Used", Point{right - shareColumn - used.width, y}, heading, Color::secondary());
  double height = share.height + 4;
  for (const PanelRow& row : input.shares) {
    height += appRow(canvas, Point{left, y + height}, width, row, false, input, layout) + 2;
  }
  return height - 2;
}

PanelLayout build(Canvas& canvas, const PanelInput& input, const PanelUiState& ui) {
  PanelLayout layout;
  double left = padding, inner = width - 2 * padding;
  double y = padding;
  auto section = [&](double height) {
    if (height > 0) y += height + sectionSpacing;
  };

  TextStyle status(15, FontWeight::semibold);
  section(wrapped(canvas, input.statusLine, Point{left, y}, inner, status, Color::white()));
  section(rangePicker(canvas, input, left, inner, y, layout));
  section(summary(canvas, input, left, inner, y));
  section(charts(canvas, input, left, inner, y, ui));
  section(appList(canvas, input, left, inner, y, layout));
  if (input.stopError) {
    section(wrapped(canvas, *input.stopError, Point{left, y}, inner, bodyStyle(),
                    Color::systemOrange()));
  }

  settingsFooter(canvas, left, y, inner, width, "gearshape", 18, PanelMenu::menuBarSettings(input),
                 padding, ui, layout);
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

}  // namespace PanelView

}  // namespace ebbwise::ui

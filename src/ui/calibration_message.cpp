#include "ui/calibration_message.h"

#include <algorithm>
#include <cmath>

namespace ebbwise::ui {

namespace CalibrationMessage {

namespace {

constexpr std::string_view kTitle = "Measuring your screen and speakers";
constexpr std::string_view kStop = "Stop";
constexpr double kButtonHeight = 22;
constexpr double kButtonPadding = 12;
constexpr double kBarHeight = 5;

const TextStyle kHeadline(13, FontWeight::semibold);
const TextStyle kCallout(12);
const TextStyle kButton(12, FontWeight::medium);

double textWidth() {
  return width - 2 * padding;
}

}  // namespace

std::string sentence(const CalibrationMessageInput& input) {
  std::string back = "where it was";
  if (input.restoreBrightness && std::isfinite(*input.restoreBrightness)) {
    double percent = std::clamp(*input.restoreBrightness, 0.0, 1.0) * 100;
    back = std::to_string(std::llround(percent)) + "%";
  }
  double seconds = std::isfinite(input.secondsLeft) ? std::clamp(input.secondsLeft, 0.0, 1e6) : 0;
  return input.phase + ". Your brightness goes back to " + back + ". About " +
         std::to_string(static_cast<long long>(seconds)) + " s left.";
}

Layout layout(Canvas& canvas, const CalibrationMessageInput& input) {
  Size title = canvas.measure(kTitle, kHeadline.wrappedAt(textWidth()));
  Size body = canvas.measure(sentence(input), kCallout.wrappedAt(textWidth()));
  Size stop = canvas.measure(kStop, kButton);
  double content = title.height + spacing + body.height + spacing + kButtonHeight;
  // A short message sits in the middle of the smallest panel.
  double height = std::max(content + 2 * padding, minimumHeight);
  double top = (height - content) / 2;
  double rowTop = top + title.height + spacing + body.height + spacing;
  double buttonWidth = stop.width + 2 * kButtonPadding;
  Layout l;
  l.size = Size{width, height};
  l.contentTop = top;
  l.stopButton = Box{width - padding - buttonWidth, rowTop, buttonWidth, kButtonHeight};
  l.progressBar = Box{padding, rowTop + (kButtonHeight - kBarHeight) / 2,
                      std::max(l.stopButton.x - 12 - padding, 0.0), kBarHeight};
  return l;
}

Layout draw(Canvas& canvas, const CalibrationMessageInput& input, bool stopPressed) {
  Layout l = layout(canvas, input);
  Box panel{0, 0, l.size.width, l.size.height};
  canvas.fill(Path::roundedRect(panel, 14), Color::gray(0.16, 0.96));
  canvas.stroke(Path::roundedRect(panel.insetBy(0.25, 0.25), 14), Stroke(0.5),
                Color::white().opacity(0.15));

  double y = l.contentTop;
  Size title = canvas.measure(kTitle, kHeadline.wrappedAt(textWidth()));
  canvas.text(kTitle, Point{padding, y}, kHeadline.wrappedAt(textWidth()), Color::white());
  y += title.height + spacing;
  canvas.text(sentence(input), Point{padding, y}, kCallout.wrappedAt(textWidth()),
              Color::secondary());

  double progress = std::isfinite(input.calibrationProgress)
                        ? std::clamp(input.calibrationProgress, 0.0, 1.0)
                        : 0.0;
  canvas.fill(Path::roundedRect(l.progressBar, kBarHeight / 2), Color::white().opacity(0.15));
  if (progress > 0) {
    Box done = l.progressBar;
    done.width = std::max(done.width * progress, kBarHeight);
    canvas.fill(Path::roundedRect(done, kBarHeight / 2), Color::systemBlue());
  }

  canvas.fill(Path::roundedRect(l.stopButton, 6), Color::white().opacity(stopPressed ? 0.3 : 0.16));
  Size stop = canvas.measure(kStop, kButton);
  canvas.text(kStop,
              Point{l.stopButton.midX() - stop.width / 2, l.stopButton.midY() - stop.height / 2},
              kButton, Color::white());
  return l;
}

}  // namespace CalibrationMessage

}  // namespace ebbwise::ui

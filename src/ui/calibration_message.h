#pragma once

#include <optional>
#include <string>

#include "ui/canvas.h"

namespace ebbwise::ui {

// What the message shown during a calibration run says, as the run
// publishes it.
struct CalibrationMessageInput {
  std::string phase;                        // what is being measured now
  std::optional<double> restoreBrightness;  // where the brightness goes back to, 0 to 1
  double secondsLeft = 0;
  double calibrationProgress = 0;  // 0 to 1

  friend bool operator==(const CalibrationMessageInput&, const CalibrationMessageInput&) = default;
};

// The message in the middle of the screen for the whole calibration run:
// what is happening, how long it takes, its progress and a Stop button.
namespace CalibrationMessage {

inline constexpr double width = 380;
inline constexpr double minimumHeight = 150;
inline constexpr double padding = 18;
inline constexpr double spacing = 10;

// "<phase>. Your brightness goes back to 62%. About 41 s left."
std::string sentence(const CalibrationMessageInput& input);

struct Layout {
  Size size;  // the whole message
  double contentTop = 0;
  Box progressBar;
  Box stopButton;  // where a click stops the run
};

Layout layout(Canvas& canvas, const CalibrationMessageInput& input);

// Draws the message at the origin; `stopPressed` shows the button held down.
Layout draw(Canvas& canvas, const CalibrationMessageInput& input, bool stopPressed = false);

}  // namespace CalibrationMessage

}  // namespace ebbwise::ui

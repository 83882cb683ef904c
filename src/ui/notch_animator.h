#pragma once

#include "ui/animated.h"
#include "ui/notch_state.h"
#include "ui/notch_view.h"

namespace ebbwise::ui {

// Turns changes of the notch's state and input into the motion the view
// draws: the tab springs open and shut, the panel's contents fade, the
// battery line glides to a new level, and the charging sweep runs. Times
// are seconds since the reference date, so the sweep's phase is the same
// wherever it is drawn.
class NotchAnimator {
 public:
  static constexpr Spring opening{0.42, 0.78};
  static constexpr Spring closing{0.34, 1.0};
  static constexpr double levelDuration = 0.6;
  static constexpr double panelFade = 0.2;
  static constexpr double panelFadeDelay = 0.05;  // when opening
  static constexpr double sweepFrameRate = 30;    // frames per second while charging

  // Starts the animations that the changes since the last call ask for. The
  // first call takes everything as it is.
  void update(const NotchState& state, const NotchViewInput& input, double now);

  NotchMotion at(double now) const;
  // An animation is under way at `now` (frames needed).
  bool isMoving(double now) const;
  // The charging sweep runs (frames needed at `sweepFrameRate`).
  bool isSweeping() const { return sweeping_; }

 private:
  bool started_ = false;
  bool open_ = false;
  bool sweeping_ = false;
  Animated openness_;
  Animated panel_;
  Animated level_{1};
};

}  // namespace ebbwise::ui

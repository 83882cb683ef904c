#include "ui/notch_animator.h"

#include "display_rules/line_theme.h"

namespace ebbwise::ui {

void NotchAnimator::update(const NotchState& state, const NotchViewInput& input, double now) {
  double level = NotchView::level(input);
  sweeping_ = input.isChargingNow;
  if (!started_) {
    started_ = true;
    open_ = state.isOpen;
    openness_.set(open_ ? 1 : 0);
    panel_.set(open_ ? 1 : 0);
    level_.set(level);
    return;
  }
  if (state.isOpen != open_) {
    open_ = state.isOpen;
    openness_.spring(open_ ? 1 : 0, now, open_ ? opening : closing);
    panel_.ease(open_ ? 1 : 0, now, panelFade, open_ ? panelFadeDelay : 0, false);
  }
  if (level != level_.target()) level_.ease(level, now, levelDuration, 0, true);
}

NotchMotion NotchAnimator::at(double now) const {
  return NotchMotion{openness_.value(now), panel_.value(now), level_.value(now),
                     now / ChargingSweep::cycle};
}

bool NotchAnimator::isMoving(double now) const {
  return openness_.isMoving(now) || panel_.isMoving(now) || level_.isMoving(now);
}

}  // namespace ebbwise::ui

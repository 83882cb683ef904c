#pragma once

namespace ebbwise::ui {

// A spring's step response: how far (0 → 1) a value sprung at t = 0 has
// come after `t` seconds. `response` is the period of the undamped spring in
// seconds, `dampingFraction` 1 for no overshoot and below 1 for a bounce.
struct Spring {
  double response = 0.5;
  double dampingFraction = 1;

  double progress(double t) const;
  // Seconds until the value stays within a thousandth of its target.
  double settlingTime() const;
};

// Timing curves over t from 0 to 1 (held to that range).
namespace Easing {
double easeInOut(double t);
double easeOut(double t);
}  // namespace Easing

// One animated figure: moves from where it is to a new target by a spring or
// a timed curve, read at any moment. Times are seconds on any steady scale.
class Animated {
 public:
  explicit Animated(double value = 0) : from_(value), to_(value) {}

  // Moves to `target` from its value at `now`. A target that is not a
  // number is ignored.
  void spring(double target, double now, Spring spring);
  void ease(double target, double now, double duration, double delay, bool inOut);
  // Jumps to `value` at once.
  void set(double value);

  double value(double now) const;
  double target() const { return to_; }
  bool isMoving(double now) const;

 private:
  enum class Kind { none, spring, easeInOut, easeOut };
  double fraction(double now) const;
  double end() const;

  double from_;
  double to_;
  double start_ = 0;
  double duration_ = 0;
  double delay_ = 0;
  Spring spring_;
  Kind kind_ = Kind::none;
};

}  // namespace ebbwise::ui

#include "ui/animated.h"

#include <algorithm>
#include <cmath>

namespace ebbwise::ui {

namespace {

constexpr double kSettled = 0.001;

double unit(double t) {
  return std::isnan(t) ? 0.0 : std::clamp(t, 0.0, 1.0);
}

}  // namespace

double Spring::progress(double t) const {
  if (!(t > 0)) return 0;
  double w = 2 * M_PI / std::max(response, 0.01);
  double z = std::max(dampingFraction, 0.0);
  double decay = std::exp(-z * w * t);
  if (z < 1) {
    double wd = w * std::sqrt(1 - z * z);
    return 1 - decay * (std::cos(wd * t) + z * w / wd * std::sin(wd * t));
  }
  if (z == 1) return 1 - decay * (1 + w * t);
  double s = std::sqrt(z * z - 1);
  double r1 = -w * (z - s), r2 = -w * (z + s);  // both negative
  return 1 - (r2 * std::exp(r1 * t) - r1 * std::exp(r2 * t)) / (r2 - r1);
}

double Spring::settlingTime() const {
  // Step until both the spring and its envelope are settled; springs here
  // settle within a second, so a millisecond step costs little.
  double w = 2 * M_PI / std::max(response, 0.01);
  for (double t = 0; t < 10; t += 0.001) {
    double envelope = std::exp(-std::min(dampingFraction, 1.0) * w * t) * (1 + w * t);
    if (envelope < kSettled && std::abs(1 - progress(t)) < kSettled) return t;
  }
  return 10;
}

namespace Easing {

double easeInOut(double t) {
  t = unit(t);
  return t * t * (3 - 2 * t);
}

double easeOut(double t) {
  t = unit(t);
  return 1 - (1 - t) * (1 - t);
}

}  // namespace Easing

void Animated::spring(double target, double now, Spring spring) {
  if (std::isnan(target)) return;
  from_ = value(now);
  to_ = target;
  start_ = now;
  spring_ = spring;
  duration_ = spring.settlingTime();
  delay_ = 0;
  kind_ = Kind::spring;
}

void Animated::ease(double target, double now, double duration, double delay, bool inOut) {
  if (std::isnan(target)) return;
  from_ = value(now);
  to_ = target;
  start_ = now;
  duration_ = std::max(duration, 0.0);
  delay_ = std::max(delay, 0.0);
  kind_ = inOut ? Kind::easeInOut : Kind::easeOut;
}

void Animated::set(double value) {
  if (std::isnan(value)) return;
  from_ = to_ = value;
  kind_ = Kind::none;
}

double Animated::fraction(double now) const {
  double t = now - start_ - delay_;
  switch (kind_) {
    case Kind::none:
      return 1;
    case Kind::spring:
      return t >= duration_ ? 1 : spring_.progress(t);
    case Kind::easeInOut:
      return duration_ > 0 ? Easing::easeInOut(t / duration_) : (t >= 0 ? 1 : 0);
    case Kind::easeOut:
      return duration_ > 0 ? Easing::easeOut(t / duration_) : (t >= 0 ? 1 : 0);
  }
  return 1;
}

double Animated::value(double now) const {
  return from_ + (to_ - from_) * fraction(now);
}

double Animated::end() const {
  return start_ + delay_ + duration_;
}

bool Animated::isMoving(double now) const {
  return kind_ != Kind::none && from_ != to_ && now < end();
}

}  // namespace ebbwise::ui

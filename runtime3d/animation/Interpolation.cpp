#include "runtime3d/animation/Interpolation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace rt3d {

namespace {

constexpr double kPi = std::numbers::pi;

double BounceOut(double x) {
  constexpr double n = 7.5625;
  constexpr double k = 2.75;
  if (x < 1 / k) return n * x * x;
  if (x < 2 / k) {
    x -= 1.5 / k;
    return n * x * x + 0.75;
  }
  if (x < 2.5 / k) {
    x -= 2.25 / k;
    return n * x * x + 0.9375;
  }
  x -= 2.625 / k;
  return n * x * x + 0.984375;
}

// The ease-in form of each curve on [0, 1], 0 at 0 and 1 at 1; the other directions are
// built from it.
double EaseIn(TInterpolationType interpolation, double x) {
  switch (interpolation) {
    case TInterpolationType::Linear:
      return x;
    case TInterpolationType::Quadratic:
      return x * x;
    case TInterpolationType::Cubic:
      return x * x * x;
    case TInterpolationType::Quartic:
      return x * x * x * x;
    case TInterpolationType::Quintic:
      return x * x * x * x * x;
    case TInterpolationType::Sinusoidal:
      return 1 - std::cos(x * kPi / 2);
    case TInterpolationType::Exponential:
      return x <= 0 ? 0 : std::pow(2, 10 * (x - 1));
    case TInterpolationType::Circular:
      return 1 - std::sqrt(std::max(0.0, 1 - x * x));
    case TInterpolationType::Elastic: {
      if (x <= 0) return 0;
      if (x >= 1) return 1;
      constexpr double period = 0.3;
      constexpr double shift = period / 4;
      return -std::pow(2, 10 * (x - 1)) * std::sin((x - 1 - shift) * 2 * kPi / period);
    }
    case TInterpolationType::Back: {
      constexpr double s = 1.70158;
      return x * x * ((s + 1) * x - s);
    }
    case TInterpolationType::Bounce:
      return 1 - BounceOut(1 - x);
  }
  return x;
}

}  // namespace

double InterpolateValue(double t, double b, double c, double d, TInterpolationType interpolation,
                        TAnimationType type) {
  if (d <= 0) return b;
  const double x = t / d;
  if (interpolation == TInterpolationType::Linear) return b + c * x;
  double progress = 0;
  switch (type) {
    case TAnimationType::In:
      progress = EaseIn(interpolation, x);
      break;
    case TAnimationType::Out:
      progress = 1 - EaseIn(interpolation, 1 - x);
      break;
    case TAnimationType::InOut:
      progress =
          x < 0.5 ? EaseIn(interpolation, 2 * x) / 2 : 1 - EaseIn(interpolation, 2 - 2 * x) / 2;
      break;
  }
  return b + c * progress;
}

}  // namespace rt3d

#pragma once
// Progress curves of property animation. Each maps the time t in [0, d] to a value going
// from b to b + c; In eases in (slow start), Out eases out, InOut does both.

namespace rt3d {

enum class TAnimationType { In, Out, InOut };

enum class TInterpolationType {
  Linear,
  Quadratic,
  Cubic,
  Quartic,
  Quintic,
  Sinusoidal,
  Exponential,
  Circular,
  Elastic,
  Back,
  Bounce,
};

double InterpolateValue(double t, double b, double c, double d, TInterpolationType interpolation,
                        TAnimationType type);

}  // namespace rt3d

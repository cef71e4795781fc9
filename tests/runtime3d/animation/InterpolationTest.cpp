#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "runtime3d/animation/Interpolation.h"

using namespace rt3d;

namespace {

constexpr TInterpolationType kCurves[] = {
    TInterpolationType::Linear,      TInterpolationType::Quadratic, TInterpolationType::Cubic,
    TInterpolationType::Quartic,     TInterpolationType::Quintic,   TInterpolationType::Sinusoidal,
    TInterpolationType::Exponential, TInterpolationType::Circular,  TInterpolationType::Elastic,
    TInterpolationType::Back,        TInterpolationType::Bounce,
};
constexpr TAnimationType kTypes[] = {TAnimationType::In, TAnimationType::Out,
                                     TAnimationType::InOut};

TEST(Interpolation, EveryCurveGoesFromTheStartToTheEnd) {
  for (TInterpolationType curve : kCurves) {
    for (TAnimationType type : kTypes) {
      SCOPED_TRACE("curve " + std::to_string(int(curve)) + ", type " + std::to_string(int(type)));
      EXPECT_NEAR(InterpolateValue(0, 2, 3, 4, curve, type), 2, 1e-12);
      EXPECT_NEAR(InterpolateValue(4, 2, 3, 4, curve, type), 5, 1e-12);
      EXPECT_TRUE(std::isfinite(InterpolateValue(1.3, 2, 3, 4, curve, type)));
    }
  }
}

TEST(Interpolation, CurvesEaseTheWayTheirTypeSays) {
  struct Case {
    TInterpolationType curve;
    TAnimationType type;
    double t;
    double expected;  // progress at t of a unit run
  };
  const Case cases[] = {
      {TInterpolationType::Linear, TAnimationType::Out, 0.3, 0.3},
      {TInterpolationType::Quadratic, TAnimationType::In, 0.5, 0.25},
      {TInterpolationType::Quadratic, TAnimationType::Out, 0.5, 0.75},
      {TInterpolationType::Quadratic, TAnimationType::InOut, 0.25, 0.125},
      {TInterpolationType::Cubic, TAnimationType::In, 0.5, 0.125},
      {TInterpolationType::Quintic, TAnimationType::Out, 0.5, 1 - 0.03125},
      {TInterpolationType::Sinusoidal, TAnimationType::In, 0.5, 1 - std::sqrt(0.5)},
      {TInterpolationType::Exponential, TAnimationType::In, 0.5, std::pow(2, -5)},
      {TInterpolationType::Circular, TAnimationType::Out, 0.5, std::sqrt(0.75)},
      {TInterpolationType::Bounce, TAnimationType::Out, 0.5, 0.765625},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("curve " + std::to_string(int(c.curve)) + ", t " + std::to_string(c.t));
    EXPECT_NEAR(InterpolateValue(c.t, 0, 1, 1, c.curve, c.type), c.expected, 1e-9);
  }
  EXPECT_LT(InterpolateValue(0.1, 0, 1, 1, TInterpolationType::Back, TAnimationType::In), 0)
      << "Back first pulls back";
  EXPECT_GT(InterpolateValue(0.1, 0, 1, 1, TInterpolationType::Elastic, TAnimationType::Out), 1)
      << "Elastic overshoots";
}

TEST(Interpolation, EmptyRunStaysAtTheStart) {
  EXPECT_EQ(InterpolateValue(1, 7, 3, 0, TInterpolationType::Cubic, TAnimationType::In), 7);
  EXPECT_EQ(InterpolateValue(1, 7, 3, -2, TInterpolationType::Linear, TAnimationType::In), 7);
}

}  // namespace

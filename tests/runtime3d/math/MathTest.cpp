#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "runtime3d/math/Math3D.h"

using namespace rt3d;

namespace {

void ExpectPointNear(const TPoint3D& actual, const TPoint3D& expected, double eps,
                     const char* what) {
  EXPECT_NEAR(actual.X, expected.X, eps) << what;
  EXPECT_NEAR(actual.Y, expected.Y, eps) << what;
  EXPECT_NEAR(actual.Z, expected.Z, eps) << what;
}

TMatrix3D RandomMatrix(std::mt19937& rng) {
  std::uniform_real_distribution<float> d(-3, 3);
  TMatrix3D m;
  for (auto& row : m.m)
    for (float& v : row) v = d(rng);
  return m;
}

}  // namespace

TEST(Math3D, RowVectorsTransformByTheLeftAndRowFourTranslates) {
  const TMatrix3D t = TMatrix3D::CreateTranslation({1, 2, 3});
  ExpectPointNear(TransformPoint({1, 1, 1}, t), {2, 3, 4}, 0, "translation adds row 4");
  // A direction (W = 0) ignores the translation.
  const TVector3D dir = TVector3D::Direction({1, 0, 0}) * t;
  EXPECT_EQ(dir, (TVector3D{1, 0, 0, 0}));
  // Scaling first, then translating: p x S x T.
  const TMatrix3D st = TMatrix3D::CreateScaling({2, 2, 2}) * t;
  ExpectPointNear(TransformPoint({1, 0, 0}, st), {3, 2, 3}, 1e-6, "scale then translate");
}

TEST(Math3D, QuaternionAboutYFollowsTheRightHandRule) {
  const double theta = 30 * std::numbers::pi / 180;
  const TMatrix3D r = TQuaternion3D::Create({0, 1, 0}, theta).ToMatrix();
  ExpectPointNear(TransformPoint({1, 0, 0}, r),
                  {float(std::cos(theta)), 0, float(-std::sin(theta))}, 1e-6, "+X turns toward -Z");
  ExpectPointNear(TransformPoint({0, 0, 1}, r), {float(std::sin(theta)), 0, float(std::cos(theta))},
                  1e-6, "+Z turns toward +X");
}

TEST(Math3D, DegenerateInputsHaveFixedOutcomes) {
  EXPECT_EQ(TQuaternion3D::Create({0, 0, 0}, 1.0), TQuaternion3D::Identity()) << "zero axis";
  EXPECT_EQ((TQuaternion3D{{0, 0, 0}, 1e-31f}).Normalized(), TQuaternion3D::Identity())
      << "tiny quaternion";
  EXPECT_EQ(TMatrix3D::Zero().Inverse(), TMatrix3D::Identity()) << "singular matrix";
  TMatrix3D nan = TMatrix3D::Identity();
  nan[0][0] = std::nanf("");
  EXPECT_EQ(nan.Inverse(), TMatrix3D::Identity()) << "NaN determinant";
  EXPECT_EQ(Normalize({0, 0, 0}), (TPoint3D{0, 0, 0})) << "zero-length direction stays zero";
}

TEST(Math3D, InverseUndoesTheMatrixForRandomWellConditionedMatrices) {
  std::mt19937 rng(1234);
  int checked = 0;
  while (checked < 50) {
    const TMatrix3D m = RandomMatrix(rng);
    if (std::fabs(m.Determinant()) < 0.5) continue;
    const TMatrix3D product = m * m.Inverse();
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) ASSERT_NEAR(product[i][j], i == j ? 1 : 0, 2e-3) << i << j;
    ++checked;
  }
}

TEST(Math3D, HamiltonProductComposesRotations) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> a(-3, 3);
  for (int i = 0; i < 50; ++i) {
    const TQuaternion3D q1 =
        TQuaternion3D::Create({float(a(rng)), float(a(rng)), float(a(rng))}, a(rng));
    const TQuaternion3D q2 =
        TQuaternion3D::Create({float(a(rng)), float(a(rng)), float(a(rng))}, a(rng));
    // For row vectors, the rotation of q1 x q2 applies q2 first: R(q1 q2) = R(q2) R(q1).
    const TMatrix3D expected = q2.ToMatrix() * q1.ToMatrix();
    const TMatrix3D actual = (q1 * q2).ToMatrix();
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) ASSERT_NEAR(actual[r][c], expected[r][c], 1e-5);
  }
}

TEST(Math3D, Wrap360NormalisesIntoHalfOpenRange) {
  struct Case {
    long double in;
    float out;
  } cases[] = {{0, 0},    {10, 10},       {360, 0},          {370, 10},          {-10, 350},
               {-360, 0}, {720.5L, 0.5f}, {-0.25L, 359.75f}, {359.999999999L, 0}};
  for (const Case& c : cases) {
    const float r = Wrap360(c.in);
    EXPECT_NEAR(r, c.out, 1e-4) << double(c.in);
    EXPECT_GE(r, 0.0f);
    EXPECT_LT(r, 360.0f);
  }
}

TEST(Math3D, VectorBackToPointDividesByWUnlessNearZero) {
  EXPECT_EQ((TVector3D{2, 4, 6, 2}).ToPoint3D(), (TPoint3D{1, 2, 3}));
  EXPECT_EQ((TVector3D{2, 4, 6, 0.00005f}).ToPoint3D(), (TPoint3D{2, 4, 6}));
}

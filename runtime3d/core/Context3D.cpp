#include "runtime3d/core/Context3D.h"

#include <cmath>

namespace rt3d {

namespace {

constexpr double kNear = 1;
constexpr double kFar = 1000;
}  // namespace

TContext3D::TContext3D() = default;
TContext3D::~TContext3D() = default;

void TContext3D::SetCameraMatrix(const TMatrix3D& m) {
  FCameraMatrix = m;
  FCameraInvMatrix = m.Inverse();
}

void TContext3D::SetCameraAngleOfView(float angle) {
  FAngleOfView = angle;
}

void TContext3D::SetSize(int width, int height) {
  if (FWidth == width && FHeight == height) return;
  FWidth = width;
  FHeight = height;
  FProjectionStale = true;
}

void TContext3D::SetCenterOffset(const TPointF& offset) {
  FCenterOffset = offset;
  FProjectionStale = true;
}

void TContext3D::SetRenderToMatrix(const TMatrix3D& m) {
  FRenderToMatrix = m;
  FProjectionStale = true;
}

void TContext3D::RecalcProjection() {
  const double f = double((long double)FAngleOfView * kDegToRad);
  const double aspect = FHeight == 0 ? 1.0 : double(FWidth) / double(FHeight);
  const double ys = 1.0 / std::tan(f / 2);
  const double xs = ys / aspect;
  TMatrix3D p = TMatrix3D::Zero();
  p[0][0] = float(xs);
  p[1][1] = float(ys);
  p[2][2] = float(kFar / (kNear - kFar));
  p[2][3] = -1;
  p[3][2] = float(kNear * kFar / (kNear - kFar));
  if (FRenderToMatrix[3][0] != 0 || FRenderToMatrix[0][0] != 1) p = p * FRenderToMatrix;
  p = p * TMatrix3D::CreateTranslation({FCenterOffset.X, FCenterOffset.Y, 0});
  FProjection = p;
  FProjectionInv = p.Inverse();
  FProjectionStale = false;
}

const TMatrix3D& TContext3D::CurrentProjectionMatrix() {
  if (FProjectionStale) RecalcProjection();
  return FProjection;
}

const TMatrix3D& TContext3D::CurrentProjectionInvMatrix() {
  if (FProjectionStale) RecalcProjection();
  return FProjectionInv;
}

TMatrix3D TContext3D::CurrentModelViewProjectionMatrix() {
  return FCurrentMatrix * FCameraMatrix * CurrentProjectionMatrix();
}

void TContext3D::Pick(float x, float y, TProjection /*projection*/, TVector3D& rayPos,
                      TVector3D& rayDir) {
  const TMatrix3D& p = CurrentProjectionMatrix();
  const double w = FWidth, h = FHeight;
  // A point on the ray's backward extension, one unit behind the eye in view space.
  const TPoint3D a{float((FCenterOffset.X + 1 - 2.0 * x * FScale / w) / p[0][0]),
                   float(-(1 - FCenterOffset.Y - 2.0 * y * FScale / h) / p[1][1]), 1};
  rayPos = TVector3D{0, 0, 0, 1} * FCameraInvMatrix;
  const TPoint3D eye = rayPos.ToPoint3D();
  rayPos = TVector3D::Point(eye);
  const TPoint3D b = TransformPoint(a, FCameraInvMatrix);
  rayDir = TVector3D::Direction(Normalize(eye - b));
}

void TContext3D::SetRenderState(const TRenderState& state) {
  const TRenderState changes = FRenderState.Update(state);
  if (!changes.IsEmpty()) DoSetRenderState(changes);
}

bool TContext3D::BeginScene() {
  FProjectionStale = true;
  return DoBeginScene();
}

}  // namespace rt3d

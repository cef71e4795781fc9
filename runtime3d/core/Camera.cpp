#include "runtime3d/core/Camera.h"

#include <algorithm>
#include <cmath>

namespace rt3d {

TCamera::TCamera(std::string name) : TControl3D(std::move(name)) {
  Position().SetPoint3DNoChange({0, 0, -5});
  SetHitTest(false);
  RebuildLocalMatrix();
}

TCamera::~TCamera() {
  if (FTarget) FTarget->RemoveFreeNotify(this);
}

void TCamera::SetAngleOfView(float value) {
  if (std::isnan(value)) return;  // would make the projection NaN
  value = std::clamp(value, 1.0f, 179.0f);
  if (FAngleOfView == value) return;
  FAngleOfView = value;
  RebuildLocalMatrix();
}

void TCamera::SetTarget(TControl3D* target) {
  if (FTarget == target) return;
  if (FTarget) FTarget->RemoveFreeNotify(this);
  FTarget = target;
  if (FTarget) FTarget->AddFreeNotify(this);
  RebuildLocalMatrix();
}

void TCamera::FreeNotification(TTreeObject* gone) {
  if (gone == FTarget) FTarget = nullptr;
}

TMatrix3D TCamera::CameraMatrix() {
  const TPoint3D eye = AbsolutePosition().XYZ();
  const TPoint3D up = AbsoluteUp().XYZ();
  const TPoint3D forward =
      FTarget ? eye - FTarget->AbsolutePosition().XYZ() : -AbsoluteDirection().XYZ();
  const TPoint3D z = Normalize(forward);
  const TPoint3D x = Normalize(Cross(z, up));
  const TPoint3D y = Cross(z, x);
  TMatrix3D m;
  m[0][0] = x.X, m[0][1] = y.X, m[0][2] = z.X, m[0][3] = 0;
  m[1][0] = x.Y, m[1][1] = y.Y, m[1][2] = z.Y, m[1][3] = 0;
  m[2][0] = x.Z, m[2][1] = y.Z, m[2][2] = z.Z, m[2][3] = 0;
  m[3][0] = float(-Dot(x, eye));
  m[3][1] = float(-Dot(y, eye));
  m[3][2] = float(-Dot(z, eye));
  m[3][3] = 1;
  return m;
}

const TPropertyInfo* TCamera::FindProperty(std::string_view name) const {
  static constexpr TPropertyInfo kProperties[] = {
      {"AngleOfView",
       [](const TPersistent& o) { return static_cast<const TCamera&>(o).AngleOfView(); },
       [](TPersistent& o, float v) { static_cast<TCamera&>(o).SetAngleOfView(v); }},
  };
  if (const TPropertyInfo* info = FindPropertyIn(kProperties, name)) return info;
  return TControl3D::FindProperty(name);
}

}  // namespace rt3d

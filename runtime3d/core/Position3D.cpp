#include "runtime3d/core/Position3D.h"

#include <cmath>

namespace rt3d {

TPosition3D::TPosition3D(const TPoint3D& defaultValue)
    : FPoint(defaultValue), FDefaultValue(defaultValue) {}

void TPosition3D::SetComponent(int axis, float value) {
  if (FFiniteOnly && !std::isfinite(value)) return;
  if (FPoint[axis] == value) return;
  FPoint[axis] = value;
  const std::function<void()>& perAxis = axis == 0 ? OnChangeX : axis == 1 ? OnChangeY : OnChangeZ;
  if (perAxis) {
    perAxis();
  } else if (OnChange) {
    OnChange();
  }
}

void TPosition3D::SetPoint(const TPoint3D& point) {
  for (int axis = 0; axis < 3; ++axis) {
    if (!FFiniteOnly || std::isfinite(point[axis])) FPoint[axis] = point[axis];
  }
  if (OnChange) OnChange();
}

namespace {

template <int Axis>
float GetAxis(const TPersistent& p) {
  return static_cast<const TPosition3D&>(p).Component(Axis);
}

template <int Axis>
void SetAxis(TPersistent& p, float value) {
  static_cast<TPosition3D&>(p).SetComponent(Axis, value);
}

constexpr TPropertyInfo kPosition3DProperties[] = {
    {"X", &GetAxis<0>, &SetAxis<0>},
    {"Y", &GetAxis<1>, &SetAxis<1>},
    {"Z", &GetAxis<2>, &SetAxis<2>},
};

}  // namespace

const TPropertyInfo* TPosition3D::FindProperty(std::string_view name) const {
  if (const TPropertyInfo* info = FindPropertyIn(kPosition3DProperties, name)) return info;
  return TPersistent::FindProperty(name);
}

}  // namespace rt3d

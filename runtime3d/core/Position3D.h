#pragma once
// The small owned 3-vector behind Position, Scale, RotationAngle and RotationCenter.
// Writing the value a component already holds does nothing at all.

#include <functional>

#include "runtime3d/core/Object.h"
#include "runtime3d/math/Math3D.h"

namespace rt3d {

class TPosition3D : public TPersistent {
 public:
  explicit TPosition3D(const TPoint3D& defaultValue = {});

  float X() const { return FPoint.X; }
  float Y() const { return FPoint.Y; }
  float Z() const { return FPoint.Z; }
  float Component(int axis) const { return FPoint[axis]; }
  // Runs OnChangeX (Y, Z) when attached, else OnChange.
  void SetX(float value) { SetComponent(0, value); }
  void SetY(float value) { SetComponent(1, value); }
  void SetZ(float value) { SetComponent(2, value); }
  void SetComponent(int axis, float value);

  const TPoint3D& Point() const { return FPoint; }
  // Stores all three components, then runs OnChange.
  void SetPoint(const TPoint3D& point);
  // When set, a NaN or infinite component is never written: SetComponent ignores it and
  // SetPoint keeps the old value of that component.
  void SetFiniteOnly(bool value) { FFiniteOnly = value; }
  // Stores all three components and runs no callback.
  void SetPoint3DNoChange(const TPoint3D& point) { FPoint = point; }
  const TPoint3D& DefaultValue() const { return FDefaultValue; }

  std::function<void()> OnChange;
  std::function<void()> OnChangeX;
  std::function<void()> OnChangeY;
  std::function<void()> OnChangeZ;

  const TPropertyInfo* FindProperty(std::string_view name) const override;

 private:
  TPoint3D FPoint;
  TPoint3D FDefaultValue;
  bool FFiniteOnly = false;
};

}  // namespace rt3d

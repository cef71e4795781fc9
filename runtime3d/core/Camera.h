#pragma once
// The camera: a view matrix that looks from the camera toward its target (or along the
// reverse of its own +Z axis when it has none), with its own +Y axis down the screen.

#include "runtime3d/core/Control3D.h"

namespace rt3d {

class TCamera : public TControl3D {
 public:
  explicit TCamera(std::string name = {});
  ~TCamera() override;

  float AngleOfView() const { return FAngleOfView; }
  // Clamped to [1, 179] degrees.
  void SetAngleOfView(float value);
  TControl3D* Target() const { return FTarget; }
  void SetTarget(TControl3D* target);

  TMatrix3D CameraMatrix();

  bool RayCastIntersect(const TVector3D&, const TVector3D&, TVector3D&) override { return false; }
  const TPropertyInfo* FindProperty(std::string_view name) const override;

 protected:
  void FreeNotification(TTreeObject* gone) override;

 private:
  float FAngleOfView = 45;
  TControl3D* FTarget = nullptr;
};

}  // namespace rt3d

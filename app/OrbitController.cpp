#include "app/OrbitController.h"

#include <algorithm>
#include <cstdlib>

#include "runtime3d/core/Camera.h"

using namespace rt3d;

namespace {

// More steps than the range between the limits holds would all be refused.
constexpr int kMostZoomSteps = 40;

}  // namespace

TOrbitController::TOrbitController(TDummy& rig, TCamera& camera) : FRig(rig), FCamera(camera) {}

void TOrbitController::StartDrag(float x, float y) {
  FDragging = true;
  FLastDragPoint.X = x;
  FLastDragPoint.Y = y;
}

void TOrbitController::DragTo(TShiftState shift, float x, float y) {
  if (!FDragging) return;
  if (!(shift & (ssLeft | ssMiddle))) {
    FDragging = false;
    return;
  }
  Turn(double(x) - FLastDragPoint.X, double(y) - FLastDragPoint.Y);
  FLastDragPoint.X = x;
  FLastDragPoint.Y = y;
}

void TOrbitController::EndDrag() {
  FDragging = false;
}

void TOrbitController::Turn(double dx, double dy) {
  const double z = FCamera.Position().Z();
  // The farther the camera, the more a pixel of travel turns the rig.
  const double f = (-7 - z) / 33 + 0.1;
  TPosition3D& angle = FRig.RotationAngle();
  angle.SetX(float(angle.X() - dy * 0.3 * f));
  angle.SetY(float(dx * 0.3 * f + angle.Y()));
}

void TOrbitController::ZoomStep(bool in) {
  const float z = float(double(FCamera.Position().Z()) + (in ? 1 : -1));
  if (z < kNearest && z > kFarthest) FCamera.Position().SetZ(z);
}

void TOrbitController::Wheel(TShiftState shift, int delta) {
  if (shift & ssHorizontal) return;
  const int notches = FWheelNotches.Add(delta);
  const int steps = std::min(std::abs(notches), kMostZoomSteps);
  for (int i = 0; i < steps; ++i) ZoomStep(notches > 0);
}

void TOrbitController::Pinch(std::uint8_t flags, std::int32_t distance) {
  if (flags & gfBegin) FLastPinchDistance = distance;
  if (flags & (gfBegin | gfEnd)) return;
  const std::int32_t d = distance - FLastPinchDistance;
  if (std::abs(d) > 4) ZoomStep(d > 0);
  FLastPinchDistance = distance;
}

void TOrbitController::Reset() {
  FDragging = false;
  FLastPinchDistance = 0;
  FWheelNotches.Reset();
}

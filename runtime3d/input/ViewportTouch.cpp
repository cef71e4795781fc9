#include "runtime3d/input/ViewportTouch.h"

namespace rt3d {

TTouchInput* AttachTouchInput(TViewport3D* viewport) {
  auto* touch = new TTouchInput(viewport);
  touch->BodyAt = [viewport](const QPointF& p) {
    const TPointF local{float(p.x()), float(p.y())};
    return viewport->ObjectAtPoint(viewport->LocalToScreen(local)).Object != nullptr;
  };
  return touch;
}

}  // namespace rt3d

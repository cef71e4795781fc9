#pragma once
// Touch input for the 3D view: the view is the gesture-capable control and a body under
// the fingers is a 3D object, on which no gesture starts.

#include "runtime3d/input/TouchInput.h"
#include "runtime3d/render/Viewport3D.h"

namespace rt3d {

// Owned by the viewport. The viewport's own gesture settings and OnGesture live in the
// TWidgetGestureControl attached to it (TWidgetGestureControl::Ensure(viewport)).
TTouchInput* AttachTouchInput(TViewport3D* viewport);

}  // namespace rt3d

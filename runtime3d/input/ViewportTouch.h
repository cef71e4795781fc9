#pragma once
// Touch input for the 3D view: the view is the gesture-capable control and a body under
// the fingers is a 3D object, on which no gesture starts.

#include <QWidget>

#include "runtime3d/input/TouchInput.h"

namespace rt3d {

// Owned by the view, which must carry its pointer routing (TPointerRouting). The view's
// own gesture settings and OnGesture live in the TWidgetGestureControl attached to it
// (TWidgetGestureControl::Ensure(view)).
TTouchInput* AttachTouchInput(QWidget* view);

}  // namespace rt3d

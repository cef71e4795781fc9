#include "runtime3d/input/ViewportTouch.h"

#include <QPointer>

#include "runtime3d/input/PointerRouting.h"

namespace rt3d {

TTouchInput* AttachTouchInput(QWidget* view) {
  auto* touch = new TTouchInput(view);
  touch->BodyAt = [view, pointer = QPointer(TPointerRouting::Of(view))](const QPointF& p) {
    if (!pointer) return false;
    const QPointF screen = view->mapToGlobal(QPointF(float(p.x()), float(p.y())));
    return pointer->ObjectAtPoint({float(screen.x()), float(screen.y())}).Object != nullptr;
  };
  return touch;
}

}  // namespace rt3d

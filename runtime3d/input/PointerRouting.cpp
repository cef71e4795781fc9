#include "runtime3d/input/PointerRouting.h"

#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QWheelEvent>
#include <QWidget>

#include <cmath>

#include "runtime3d/core/Control3D.h"
#include "runtime3d/core/ViewportRoot.h"

namespace rt3d {

namespace {

TShiftState ShiftOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons,
                    const QPointingDevice* device) {
  TShiftState shift = 0;
  if (modifiers & Qt::ShiftModifier) shift |= ssShift;
  if (modifiers & Qt::AltModifier) shift |= ssAlt;
  if (modifiers & Qt::ControlModifier) shift |= ssCtrl;
  if (buttons & Qt::LeftButton) shift |= ssLeft;
  if (buttons & Qt::RightButton) shift |= ssRight;
  if (buttons & Qt::MiddleButton) shift |= ssMiddle;
  if (device) {
    // Qt synthesises mouse events from touch and pen input on their own devices.
    if (device->type() == QInputDevice::DeviceType::TouchScreen) shift |= ssTouch;
    if (device->type() == QInputDevice::DeviceType::Stylus) shift |= ssPen;
  }
  return shift;
}

TShiftState ShiftOf(const QSinglePointEvent& event) {
  TShiftState shift = ShiftOf(event.modifiers(), event.buttons(), event.pointingDevice());
  // The touch adapter turns a single finger into mouse events of its own making.
  if (const auto* mouse = dynamic_cast<const QMouseEvent*>(&event);
      mouse && mouse->source() == Qt::MouseEventSynthesizedByApplication) {
    shift |= ssTouch;
  }
  return shift;
}

bool ButtonOf(Qt::MouseButton qtButton, TMouseButton& button) {
  switch (qtButton) {
    case Qt::LeftButton:
      button = TMouseButton::mbLeft;
      return true;
    case Qt::RightButton:
      button = TMouseButton::mbRight;
      return true;
    case Qt::MiddleButton:
      button = TMouseButton::mbMiddle;
      return true;
    default:
      return false;
  }
}

// Pointer positions reach handlers in whole logical pixels (halves to the even neighbour).
TPointF LocalPoint(const QSinglePointEvent& event) {
  const QPointF p = event.position();
  return {float(int(std::nearbyint(p.x()))), float(int(std::nearbyint(p.y())))};
}

TPointF ToScreen(const QWidget& view, const TPointF& local) {
  const QPointF screen = view.mapToGlobal(QPointF(local.X, local.Y));
  return {float(screen.x()), float(screen.y())};
}

}  // namespace

// Forgets the hovered body when it goes away.
class TPointerRouting::THoverWatch : public TTreeObject {
 public:
  explicit THoverWatch(TPointerRouting& routing) : FRouting(routing) {}

 protected:
  void FreeNotification(TTreeObject* gone) override {
    if (gone == FRouting.FHovered) FRouting.FHovered = nullptr;
  }

 private:
  TPointerRouting& FRouting;
};

TPointerRouting::TPointerRouting(QWidget& view, TViewportRoot& root, TViewPointerEvents& events)
    : QObject(&view),
      FView(view),
      FRoot(root),
      FEvents(events),
      FHoverWatch(std::make_unique<THoverWatch>(*this)) {}

TPointerRouting::~TPointerRouting() {
  if (FHovered) FHovered->RemoveFreeNotify(FHoverWatch.get());
  FHovered = nullptr;
  EndPress();
}

TPointerRouting* TPointerRouting::Of(const QWidget* view) {
  return view ? view->findChild<TPointerRouting*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void TPointerRouting::SetPopupMenu(QMenu* menu) {
  FPopupMenu = menu;
}

TViewportHit TPointerRouting::ObjectAtPoint(const TPointF& screenPoint) {
  const QPointF local = FView.mapFromGlobal(QPointF(screenPoint.X, screenPoint.Y));
  if (!FView.isVisible() || local.x() < 0 || local.y() < 0 || local.x() >= FView.width() ||
      local.y() >= FView.height()) {
    return {};
  }
  TControl3D* object = FRoot.ObjectAtPoint(screenPoint);
  return {object, object == nullptr};
}

void TPointerRouting::SetHovered(TControl3D* object) {
  if (object == FHovered) return;
  TControl3D* old = FHovered;
  if (old) old->RemoveFreeNotify(FHoverWatch.get());
  FHovered = object;
  if (object) object->AddFreeNotify(FHoverWatch.get());
  if (old) old->MouseLeave();
  if (object) object->MouseEnter();
}

void TPointerRouting::ViewMouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  if (FEvents.OnMouseDown) FEvents.OnMouseDown(&FView, button, shift, x, y);
  if (FAutoCapture) FCaptured = true;
  if ((shift & ssDouble) && FEvents.OnDblClick) FEvents.OnDblClick(&FView);
}

void TPointerRouting::ViewMouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  FCaptured = false;
  if (FEvents.OnMouseUp) FEvents.OnMouseUp(&FView, button, shift, x, y);
}

void TPointerRouting::Press(QMouseEvent& event, TShiftState extra) {
  event.accept();
  TMouseButton button;
  if (!ButtonOf(event.button(), button)) return;
  const TShiftState shift = ShiftOf(event) | extra;
  const TPointF p = LocalPoint(event);
  const TViewportHit hit = ObjectAtPoint(ToScreen(FView, p));
  if (button == TMouseButton::mbRight && !hit.Object && FPopupMenu) {
    // The menu takes the pointer, and with it the release of any press still held.
    LosePointer();
    FPopupMenu->popup(event.globalPosition().toPoint());
    return;
  }
  HoldPress();
  if (hit.Object) {
    SetHovered(hit.Object);
    hit.Object->MouseDown(button, shift, p.X, p.Y);
  } else {
    ViewMouseDown(button, shift, p.X, p.Y);
  }
}

void TPointerRouting::Move(QMouseEvent& event) {
  event.accept();
  const TShiftState shift = ShiftOf(event);
  const TPointF p = LocalPoint(event);
  if (FCaptured) {
    if (FEvents.OnMouseMove) FEvents.OnMouseMove(&FView, shift, p.X, p.Y);
    return;
  }
  const TViewportHit hit = ObjectAtPoint(ToScreen(FView, p));
  SetHovered(hit.Object);
  if (hit.Object) {
    hit.Object->MouseMove(shift, p.X, p.Y);
  } else if (hit.OnViewport && FEvents.OnMouseMove) {
    FEvents.OnMouseMove(&FView, shift, p.X, p.Y);
  }
}

void TPointerRouting::Release(QMouseEvent& event) {
  event.accept();
  TMouseButton button;
  if (!ButtonOf(event.button(), button)) return;
  EndPress();
  const TShiftState shift = ShiftOf(event);
  const TPointF p = LocalPoint(event);
  if (FCaptured) {
    ViewMouseUp(button, shift, p.X, p.Y);
    return;
  }
  const TViewportHit hit = ObjectAtPoint(ToScreen(FView, p));
  if (hit.Object) {
    SetHovered(hit.Object);
    hit.Object->MouseClick();
    hit.Object->MouseUp(button, shift, p.X, p.Y);
  } else {
    // Off the view too (Qt keeps sending to the widget that took the press): a drag
    // always ends at its release.
    ViewMouseUp(button, shift, p.X, p.Y);
  }
}

void TPointerRouting::Wheel(QWheelEvent& event) {
  event.accept();
  TShiftState shift = ShiftOf(event.modifiers(), event.buttons(), event.pointingDevice());
  int delta = event.angleDelta().y();
  if (delta == 0) {
    delta = event.angleDelta().x();
    if (delta == 0) return;
    shift |= ssHorizontal;
  }
  bool handled = false;
  if (!FCaptured) {
    const TViewportHit hit =
        ObjectAtPoint({float(event.globalPosition().x()), float(event.globalPosition().y())});
    for (TControl3D* object = hit.Object; object && !handled; object = object->ParentControl3D()) {
      object->MouseWheel(shift, delta, handled);
    }
  }
  if (!handled && FEvents.OnMouseWheel) FEvents.OnMouseWheel(&FView, shift, delta, handled);
}

void TPointerRouting::Leave() {
  if (!FCaptured) SetHovered(nullptr);
}

bool TPointerRouting::eventFilter(QObject* watched, QEvent* event) {
  // A menu takes the pointer for as long as it is open, whoever opened it.
  if (event->type() == QEvent::Show && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->windowType() == Qt::Popup) {
    LosePointer();
  }
  return false;
}

void TPointerRouting::HoldPress() {
  FPressHeld = true;
  QCoreApplication::instance()->installEventFilter(this);
}

void TPointerRouting::EndPress() {
  FPressHeld = false;
  if (QCoreApplication* application = QCoreApplication::instance())
    application->removeEventFilter(this);
}

void TPointerRouting::LosePointer() {
  if (!FPressHeld && !FCaptured) return;
  EndPress();
  FCaptured = false;
  if (FEvents.OnPointerLost) FEvents.OnPointerLost(&FView);
}

}  // namespace rt3d

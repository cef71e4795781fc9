#pragma once
// Pointer input of a 3D view: which of the view and its bodies gets presses, moves,
// releases, double clicks and the wheel.
//
// A press goes to the body under the pointer or to the view itself; a press on the view
// captures the pointer for it until the release. Bodies never capture: moves and the
// release go to whatever is under the pointer then. When the view loses the pointer while a
// press is held (a menu opens, another window is activated, the view is hidden), the
// release will never come: the capture ends and OnPointerLost says so.

#include <functional>
#include <memory>

#include <QMenu>
#include <QObject>
#include <QPointer>

#include "runtime3d/core/Types.h"

class QMouseEvent;
class QWheelEvent;
class QWidget;

namespace rt3d {

class TControl3D;
class TViewportRoot;

using TMouseEvent =
    std::function<void(QObject* sender, TMouseButton button, TShiftState shift, float x, float y)>;
using TMouseMoveEvent = std::function<void(QObject* sender, TShiftState shift, float x, float y)>;
using TViewportNotifyEvent = std::function<void(QObject* sender)>;
using TViewportWheelEvent =
    std::function<void(QObject* sender, TShiftState shift, int wheelDelta, bool& handled)>;

// What lies under a point of the view: a 3D object, the view itself, or nothing (the
// point is off the view).
struct TViewportHit {
  TControl3D* Object = nullptr;
  bool OnViewport = false;
};

// The handlers of pointer input on the view itself (not on one of its bodies); the view
// is the sender.
struct TViewPointerEvents {
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TViewportNotifyEvent OnDblClick;
  TViewportWheelEvent OnMouseWheel;
  // A press on the view or on one of its bodies will get no release.
  TViewportNotifyEvent OnPointerLost;
};

// Attached to the view as a child object; the view hands it its pointer events.
class TPointerRouting : public QObject {
  Q_OBJECT

 public:
  TPointerRouting(QWidget& view, TViewportRoot& root, TViewPointerEvents& events);
  ~TPointerRouting() override;

  // The routing attached to this view, or null.
  static TPointerRouting* Of(const QWidget* view);

  // The object under a screen point (global logical coordinates).
  TViewportHit ObjectAtPoint(const TPointF& screenPoint);
  // The 3D object the pointer is over (null when none).
  TControl3D* HoveredObject() const { return FHovered; }
  // True while a press on the view itself holds the pointer.
  bool IsCaptured() const { return FCaptured; }
  bool AutoCapture() const { return FAutoCapture; }
  void SetAutoCapture(bool value) { FAutoCapture = value; }
  // Opened by a right press on the view itself (not on a body). Not owned.
  QMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(QMenu* menu);

  // The view's pointer events; extra is added to the shift state of a press.
  void Press(QMouseEvent& event, TShiftState extra);
  void Move(QMouseEvent& event);
  void Release(QMouseEvent& event);
  void Wheel(QWheelEvent& event);
  // The pointer left the view.
  void Leave();
  // Ends a held press without its release.
  void LosePointer();

 protected:
  // While a press is held: watches the application for a menu that opens.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class THoverWatch;

  void SetHovered(TControl3D* object);
  // The view's own steps of a 2D control.
  void ViewMouseDown(TMouseButton button, TShiftState shift, float x, float y);
  void ViewMouseUp(TMouseButton button, TShiftState shift, float x, float y);
  void HoldPress();
  void EndPress();

  QWidget& FView;
  TViewportRoot& FRoot;
  TViewPointerEvents& FEvents;
  std::unique_ptr<THoverWatch> FHoverWatch;
  bool FAutoCapture = true;
  QPointer<QMenu> FPopupMenu;
  bool FCaptured = false;
  bool FPressHeld = false;  // a press reached the view or a body; its release is to come
  TControl3D* FHovered = nullptr;
};

}  // namespace rt3d

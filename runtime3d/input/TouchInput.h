#pragma once
// Touch input of one view widget (the 3D view), fed to the touch recognizer.
//
// Attaching: `new TTouchInput(view)` switches on touch events for the view and filters
// them; it is a child of the view and goes away with it. Touches that begin on a child of
// the view (a panel button) reach it too, since Qt passes an unaccepted touch-begin up to
// the first widget that takes touch events.
//
// Qt positions of touch points are already logical pixels of the receiving widget, so
// only the offset to the window is added; the tap tolerance of 10 device pixels is
// divided by the view's device pixel ratio.
//
// Pointer events: taking the touch stops Qt from making mouse events out of it, so this
// class makes them itself, and only while exactly one finger is down: press, moves and
// release go to the widget under the finger as left-button mouse events whose source() is
// Qt::MouseEventSynthesizedByApplication (how a receiver tells touch from mouse, for
// ssTouch). When a second finger lands the pointer is released where it last was, and the
// rest of that touch is only a pinch. Mouse events are sent straight to the widget, so
// the window's double-click detection never sees them: a double tap arrives once, as the
// DoubleTap gesture, and not also as a double click.

#include <QEvent>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "runtime3d/input/MultiTouchManager.h"

class QTouchEvent;

namespace rt3d {

class TTouchInput : public QObject {
  Q_OBJECT
 public:
  explicit TTouchInput(QWidget* view);
  ~TTouchInput() override;

  TMultiTouchManager& Manager() { return *FManager; }

  // Set by the 3D view: true when a 3D object lies under this point of the view (view
  // coordinates). Without it the view counts as empty background.
  std::function<bool(const QPointF& viewPoint)> BodyAt;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  THitObject HitTest(const TPointF& clientPoint) const;
  void HandleTouch(QTouchEvent* event);
  void Pointer(QTouchEvent* event, const TTouchFrame& frame);
  void SendMouse(QEvent::Type type, const QPointF& viewPoint, Qt::KeyboardModifiers modifiers);

  QPointer<QWidget> FView;
  std::unique_ptr<TMultiTouchManager> FManager;
  // The widget that took the pointer press, and where the finger last was.
  QPointer<QWidget> FPointerTarget;
  QPointF FPointerAt;
  bool FPointerDown = false;
  // Set once a touch has had two fingers: no pointer events until all are lifted.
  bool FMultiTouch = false;
};

}  // namespace rt3d

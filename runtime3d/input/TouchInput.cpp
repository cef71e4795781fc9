#include "runtime3d/input/TouchInput.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QTouchEvent>
#include <algorithm>

#include "runtime3d/input/WidgetGestures.h"

namespace rt3d {

TTouchInput::TTouchInput(QWidget* view) : QObject(view), FView(view) {
  view->setAttribute(Qt::WA_AcceptTouchEvents);
  view->installEventFilter(this);
  FManager = std::make_unique<TMultiTouchManager>([this](const TPointF& p) { return HitTest(p); },
                                                  nullptr, TQtTouchTimer::Create);
}

TTouchInput::~TTouchInput() {
  if (FView) FView->removeEventFilter(this);
}

bool TTouchInput::eventFilter(QObject* watched, QEvent* event) {
  if (watched != FView) return false;
  switch (event->type()) {
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
      HandleTouch(static_cast<QTouchEvent*>(event));
      // Accepting the touch keeps its later updates coming here and keeps Qt from also
      // turning it into mouse events; Pointer() does that instead.
      event->accept();
      return true;
    default:
      return false;
  }
}

THitObject TTouchInput::HitTest(const TPointF& clientPoint) const {
  QWidget* window = FView->window();
  const QPoint at = QPointF(clientPoint.X, clientPoint.Y).toPoint();
  QWidget* under = window->childAt(at);
  if (!under) under = window;
  if (under == FView && BodyAt && BodyAt(FView->mapFrom(window, QPointF(at))))
    return THitObject::Body();
  return THitObject::Of(TWidgetGestureControl::Nearest(under));
}

void TTouchInput::HandleTouch(QTouchEvent* event) {
  QWidget* window = FView->window();
  const bool last = event->type() == QEvent::TouchEnd || event->type() == QEvent::TouchCancel;

  TTouchFrame frame;
  frame.Last = last;
  bool pressed = false, released = false;
  // Qt does not promise any order of the points; the recognizer wants the first finger
  // down first, so order them by their ids, which grow with every new touch.
  QList<QEventPoint> points = event->points();
  std::stable_sort(points.begin(), points.end(),
                   [](const QEventPoint& a, const QEventPoint& b) { return a.id() < b.id(); });
  for (const QEventPoint& p : points) {
    const QPointF client = FView->mapTo(window, p.position());
    frame.Points.push_back({float(client.x()), float(client.y())});
    pressed |= p.state() == QEventPoint::State::Pressed;
    released |= p.state() == QEventPoint::State::Released;
  }
  frame.Action = pressed    ? TTouchAction::Down
                 : released ? TTouchAction::Up
                 : last     ? TTouchAction::Up
                            : TTouchAction::Move;

  FManager->SetWindow(TWidgetGestureControl::Of(window));
  FManager->SetTapTolerance(float(10.0 / std::max(FView->devicePixelRatioF(), 0.01)));
  try {
    FManager->ProcessFrame(frame);
  } catch (...) {
    // Hit testing asks the 3D view; whatever it raises belongs to the error handler.
    ReportGestureFailure(std::current_exception());
  }
  if (FView) Pointer(event, frame);
}

void TTouchInput::Pointer(QTouchEvent* event, const TTouchFrame& frame) {
  const bool last = frame.Last;
  if (event->points().size() > 1 && !FMultiTouch) {
    FMultiTouch = true;
    if (FPointerDown) {
      FPointerDown = false;
      SendMouse(QEvent::MouseButtonRelease, FPointerAt, event->modifiers());
    }
  }
  if (FMultiTouch) {
    if (last) FMultiTouch = false;
    return;
  }
  if (event->points().isEmpty()) {
    if (last && FPointerDown) {
      FPointerDown = false;
      SendMouse(QEvent::MouseButtonRelease, FPointerAt, event->modifiers());
    }
    return;
  }

  const QEventPoint& point = event->points().front();
  const QPointF at = point.position();
  switch (point.state()) {
    case QEventPoint::State::Pressed: {
      QWidget* under = FView->childAt(at.toPoint());
      FPointerTarget = under ? under : FView.data();
      FPointerDown = true;
      FPointerAt = at;
      SendMouse(QEvent::MouseButtonPress, at, event->modifiers());
      break;
    }
    case QEventPoint::State::Updated:
      if (FPointerDown && at != FPointerAt) {
        FPointerAt = at;
        SendMouse(QEvent::MouseMove, at, event->modifiers());
      }
      break;
    case QEventPoint::State::Released:
      if (FPointerDown) {
        FPointerDown = false;
        FPointerAt = at;
        SendMouse(QEvent::MouseButtonRelease, at, event->modifiers());
      }
      break;
    default:
      break;
  }
  // A cancelled touch must not leave a drag running.
  if (last && FPointerDown) {
    FPointerDown = false;
    SendMouse(QEvent::MouseButtonRelease, FPointerAt, event->modifiers());
  }
}

void TTouchInput::SendMouse(QEvent::Type type, const QPointF& viewPoint,
                            Qt::KeyboardModifiers modifiers) {
  QWidget* target = FPointerTarget ? FPointerTarget.data() : FView.data();
  if (!target || !FView) return;
  const QPointF local = target == FView ? viewPoint : target->mapFrom(FView, viewPoint);
  const QPointF scene = FView->mapTo(FView->window(), viewPoint);
  const QPointF global = FView->mapToGlobal(viewPoint);
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  const Qt::MouseButtons buttons =
      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
  // From the mouse device: a mouse event from the touch screen would take over the grab
  // of touch point 0 and the rest of the touch would no longer arrive here.
  QMouseEvent mouse(type, local, scene, global, button, buttons, modifiers,
                    Qt::MouseEventSynthesizedByApplication,
                    QPointingDevice::primaryPointingDevice());
  QCoreApplication::sendEvent(target, &mouse);
}

}  // namespace rt3d

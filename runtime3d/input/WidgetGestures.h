#pragma once
// Gesture-capable controls as Qt widgets see them: a TGestureControl attached to a widget
// (the window, the 3D view, a panel), and the one-shot timer the recognizer runs on.

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "runtime3d/input/MultiTouchManager.h"

namespace rt3d {

// Attached as a child object: it lives as long as its widget. Widgets without one are
// plain controls: they take no gesture and pass every gesture on to their parent.
class TWidgetGestureControl : public QObject, public TGestureControl {
  Q_OBJECT
 public:
  explicit TWidgetGestureControl(QWidget* widget);

  QWidget* Widget() const { return FWidget; }
  TGestureControl* GestureParent() const override;

  // The control attached to this widget, or null.
  static TWidgetGestureControl* Of(const QWidget* widget);
  // The control attached to this widget or to its nearest ancestor that has one.
  static TWidgetGestureControl* Nearest(const QWidget* widget);
  // Attaches one unless the widget already has it.
  static TWidgetGestureControl* Ensure(QWidget* widget);

 private:
  QPointer<QWidget> FWidget;
};

class TQtTouchTimer : public ITouchTimer {
 public:
  explicit TQtTouchTimer(std::function<void()> onTimeout);
  void Start(int milliseconds) override { FTimer.start(milliseconds); }
  void Stop() override { FTimer.stop(); }
  bool IsActive() const override { return FTimer.isActive(); }

  static std::unique_ptr<ITouchTimer> Create(std::function<void()> onTimeout);

 private:
  QTimer FTimer;
};

}  // namespace rt3d

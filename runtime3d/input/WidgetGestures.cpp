#include "runtime3d/input/WidgetGestures.h"

namespace rt3d {

TWidgetGestureControl::TWidgetGestureControl(QWidget* widget) : QObject(widget), FWidget(widget) {}

TGestureControl* TWidgetGestureControl::GestureParent() const {
  if (!FWidget || FWidget->isWindow()) return nullptr;
  return Nearest(FWidget->parentWidget());
}

TWidgetGestureControl* TWidgetGestureControl::Of(const QWidget* widget) {
  if (!widget) return nullptr;
  return widget->findChild<TWidgetGestureControl*>(QString(), Qt::FindDirectChildrenOnly);
}

TWidgetGestureControl* TWidgetGestureControl::Nearest(const QWidget* widget) {
  for (const QWidget* w = widget; w != nullptr; w = w->isWindow() ? nullptr : w->parentWidget())
    if (TWidgetGestureControl* control = Of(w)) return control;
  return nullptr;
}

TWidgetGestureControl* TWidgetGestureControl::Ensure(QWidget* widget) {
  if (TWidgetGestureControl* control = Of(widget)) return control;
  return new TWidgetGestureControl(widget);
}

TQtTouchTimer::TQtTouchTimer(std::function<void()> onTimeout) {
  FTimer.setSingleShot(true);
  FTimer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&FTimer, &QTimer::timeout, std::move(onTimeout));
}

std::unique_ptr<ITouchTimer> TQtTouchTimer::Create(std::function<void()> onTimeout) {
  return std::make_unique<TQtTouchTimer>(std::move(onTimeout));
}

}  // namespace rt3d

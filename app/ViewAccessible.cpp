#include "app/ViewAccessible.h"

#include <QAccessibleWidget>

#include "app/MainWindow.h"

namespace {

class TViewAccessible : public QAccessibleWidget {
 public:
  explicit TViewAccessible(QWidget* view) : QAccessibleWidget(view, QAccessible::Canvas) {}

  QString text(QAccessible::Text t) const override {
    if (t != QAccessible::Value) return QAccessibleWidget::text(t);
    const auto* window = qobject_cast<const TMainWindow*>(widget()->window());
    return window && window->Overlays().NameLabel ? window->Overlays().NameLabel->text()
                                                  : QString();
  }
};

QAccessibleInterface* ViewAccessibleFactory(const QString&, QObject* object) {
  auto* view = qobject_cast<rt3d::TViewport3D*>(object);
  if (view && qobject_cast<TMainWindow*>(view->window())) return new TViewAccessible(view);
  return nullptr;
}

}  // namespace

void InstallViewAccessible() {
  static const bool installed = [] {
    QAccessible::installFactory(&ViewAccessibleFactory);
    return true;
  }();
  (void)installed;
}

void AnnounceShownBody(QWidget* view, const QString& body) {
  QAccessibleValueChangeEvent changed(view, body);
  QAccessible::updateAccessibility(&changed);
}

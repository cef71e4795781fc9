#include "scene/Text.h"

#include <QAccessibleWidget>
#include <QPainter>

namespace orvanth {

namespace {

// The text is painted, so a screen reader would see an empty box without this.
class TTextAccessible : public QAccessibleWidget {
 public:
  explicit TTextAccessible(TText* text) : QAccessibleWidget(text, QAccessible::StaticText) {}

  QString text(QAccessible::Text t) const override {
    const auto* text = static_cast<const TText*>(widget());
    if (t == QAccessible::Name && text->accessibleName().isEmpty()) return text->Text();
    return QAccessibleWidget::text(t);
  }
};

QAccessibleInterface* TextAccessibleFactory(const QString&, QObject* object) {
  if (auto* text = qobject_cast<TText*>(object)) return new TTextAccessible(text);
  return nullptr;
}

}  // namespace

TText::TText(QWidget* parent) : QWidget(parent) {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(&TextAccessibleFactory);
    return true;
  }();
  (void)factoryInstalled;
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_TranslucentBackground);
  setFocusPolicy(Qt::NoFocus);
}

void TText::SetText(const QString& text) {
  if (FText == text) return;
  FText = text;
  update();
  QAccessibleEvent changed(this, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&changed);
}

void TText::SetFontColor(const QColor& color) {
  FColor = color;
  update();
}

void TText::SetFontSize(int pixels) {
  QFont f = font();
  f.setPixelSize(pixels);
  setFont(f);
  update();
}

void TText::SetHorzAlign(Qt::Alignment align) {
  FHorzAlign = align;
  update();
}

void TText::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setPen(FColor);
  const QFontMetrics metrics(font());
  int y = 0;
  for (QString line : FText.split(QLatin1Char('\n'))) {
    if (y >= height()) break;
    // Trim whole characters from the end until the line fits the box.
    while (!line.isEmpty() && metrics.horizontalAdvance(line) > width()) line.chop(1);
    painter.drawText(QRect(0, y, width(), metrics.height()), FHorzAlign | Qt::AlignTop, line);
    y += metrics.lineSpacing();
  }
}

}  // namespace orvanth

#include "scene/Text.h"

#include <QPainter>

namespace orvanth {

TText::TText(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_TranslucentBackground);
  setFocusPolicy(Qt::NoFocus);
}

void TText::SetText(const QString& text) {
  if (FText == text) return;
  FText = text;
  update();
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

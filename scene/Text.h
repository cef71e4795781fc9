#pragma once
// A block of text drawn over the view: lines aligned left or right inside its box, from
// the top, cut at the last character that fits. It never takes pointer input. Assistive
// technology reads it as static text whose name is the whole text.

#include <QColor>
#include <QWidget>

namespace orvanth {

class TText : public QWidget {
  Q_OBJECT

 public:
  explicit TText(QWidget* parent = nullptr);

  QString Text() const { return FText; }
  void SetText(const QString& text);
  void SetFontColor(const QColor& color);
  void SetFontSize(int pixels);
  // Qt::AlignLeft (leading) or Qt::AlignRight (trailing).
  void SetHorzAlign(Qt::Alignment align);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString FText;
  QColor FColor = Qt::white;
  Qt::Alignment FHorzAlign = Qt::AlignLeft;
};

}  // namespace orvanth

#pragma once
// A label whose glyphs carry a soft dark halo, so that it reads over any picture: over the
// dark sky and over the bright bands of the planet alike. The glyphs themselves are the
// label's own, in its font, colour and place; the halo is painted beneath them.

#include <QImage>
#include <QLabel>

namespace orvanth {

class THaloLabel : public QLabel {
 public:
  // The halo is as dark as this at up to kHaloReach logical pixels from a glyph and fades
  // out over kHaloFade more.
  static constexpr double kHaloOpacity = 0.8;
  static constexpr double kHaloReach = 3;
  static constexpr double kHaloFade = 1.5;

  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // The halo for what the label shows now, made again when that changes.
  const QImage& Halo();
  // The label's glyphs alone, drawn as the label draws them, on a transparent image.
  QImage Glyphs();

  QImage FHalo;
  QString FHaloText;
  QSize FHaloSize;
  QFont FHaloFont;
  qreal FHaloRatio = 0;
};

}  // namespace orvanth

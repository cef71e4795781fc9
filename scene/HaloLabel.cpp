#include "scene/HaloLabel.h"

#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <vector>

namespace orvanth {

void THaloLabel::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), Halo());
  }
  QLabel::paintEvent(event);
}

QImage THaloLabel::Glyphs() {
  const qreal ratio = devicePixelRatioF();
  QImage glyphs((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
  glyphs.setDevicePixelRatio(ratio);
  glyphs.fill(Qt::transparent);
  // The way the label draws plain text: its style's item text in the contents rectangle.
  QPainter painter(&glyphs);
  painter.setFont(font());
  const int flags =
      int(QStyle::visualAlignment(layoutDirection(), alignment())) |
      (layoutDirection() == Qt::LeftToRight ? Qt::TextForceLeftToRight : Qt::TextForceRightToLeft);
  style()->drawItemText(&painter, contentsRect(), flags, palette(), isEnabled(), text(),
                        foregroundRole());
  return glyphs;
}

const QImage& THaloLabel::Halo() {
  const qreal ratio = devicePixelRatioF();
  if (!FHalo.isNull() && FHaloText == text() && FHaloSize == size() && FHaloFont == font() &&
      FHaloRatio == ratio) {
    return FHalo;
  }
  FHaloText = text();
  FHaloSize = size();
  FHaloFont = font();
  FHaloRatio = ratio;

  const QImage glyphs = Glyphs();
  const int w = glyphs.width(), h = glyphs.height();
  // Each pixel takes the strongest glyph coverage around it, weighted by how far away it
  // lies: full within the reach, fading to nothing beyond it.
  const double reach = kHaloReach * ratio, fade = kHaloFade * ratio;
  const int radius = int(std::ceil(reach + fade));
  std::vector<double> weight;
  for (int dy = -radius; dy <= radius; ++dy) {
    for (int dx = -radius; dx <= radius; ++dx) {
      const double d = std::hypot(dx, dy);
      weight.push_back(std::clamp((reach + fade - d) / fade, 0.0, 1.0));
    }
  }
  std::vector<double> coverage(size_t(w) * size_t(h), 0.0);
  QRect inked;
  for (int y = 0; y < h; ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(glyphs.constScanLine(y));
    for (int x = 0; x < w; ++x) {
      coverage[size_t(y) * size_t(w) + size_t(x)] = qAlpha(row[x]) / 255.0;
      if (qAlpha(row[x]) > 0) inked |= QRect(x, y, 1, 1);
    }
  }
  FHalo = QImage(glyphs.size(), QImage::Format_ARGB32_Premultiplied);
  FHalo.setDevicePixelRatio(ratio);
  FHalo.fill(Qt::transparent);
  // Only around the glyphs is there anything to do.
  const QRect area = inked.adjusted(-radius, -radius, radius, radius) & FHalo.rect();
  for (int y = area.top(); y <= area.bottom(); ++y) {
    QRgb* out = reinterpret_cast<QRgb*>(FHalo.scanLine(y));
    for (int x = area.left(); x <= area.right(); ++x) {
      double strongest = 0;
      for (int dy = -radius; dy <= radius; ++dy) {
        const int sy = y + dy;
        if (sy < 0 || sy >= h) continue;
        for (int dx = -radius; dx <= radius; ++dx) {
          const int sx = x + dx;
          if (sx < 0 || sx >= w) continue;
          const double c =
              coverage[size_t(sy) * size_t(w) + size_t(sx)] *
              weight[size_t(dy + radius) * size_t(2 * radius + 1) + size_t(dx + radius)];
          strongest = std::max(strongest, c);
        }
      }
      out[x] = qRgba(0, 0, 0, int(std::lround(255 * kHaloOpacity * strongest)));
    }
  }
  return FHalo;
}

}  // namespace orvanth

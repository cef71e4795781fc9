#include "runtime3d/render/CopyPresentation.h"

#include <cmath>

#include <QPaintEvent>
#include <QPainter>
#include <QWidget>

#include "runtime3d/render/FrameLoop.h"
#include "runtime3d/render/GLRenderTarget.h"

namespace rt3d {

TCopyPresentation::TCopyPresentation(QWidget& view, TFrameLoop& loop) : FView(view), FLoop(loop) {}

bool TCopyPresentation::KeepsFrameOf(QSize size) const {
  return !FBlack && FPicture.size() == size &&
         FPicture.format() == QImage::Format_ARGB32_Premultiplied;
}

bool TCopyPresentation::Take(TGLFunctions&, TGLRenderTarget& target,
                             const std::vector<TPixelRect>& rects, qreal scale, bool) {
  const QSize size = target.Size();
  const bool whole = rects.size() == 1 && rects[0].Area() == qint64(size.width()) * size.height();
  if (!(whole ? target.ReadPixelsInto(FPicture) : target.ReadRectsInto(FPicture, rects)))
    return false;
  FPicture.setDevicePixelRatio(scale);
  FBlack = false;
  return true;
}

void TCopyPresentation::TakeBlack(QSize size, qreal scale) {
  FPicture = QImage(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
  FPicture.fill(Qt::black);
  FPicture.setDevicePixelRatio(scale);
  FBlack = true;
}

void TCopyPresentation::Show(const std::vector<TPixelRect>& rects) {
  if (rects.empty()) {
    // Nothing changed; a paint that asked for the frame still hears that it is there.
    if (FRepaintAsked) FLoop.Painted();
    FRepaintAsked = false;
    return;
  }
  // The changed pixels in the widget's coordinates, rounded outwards.
  const qreal scale = FPicture.devicePixelRatio();
  QRegion region;
  for (const TPixelRect& r : rects) {
    const int left = int(std::floor(r.Left / scale)), top = int(std::floor(r.Top / scale));
    region += QRect(left, top, int(std::ceil(r.Right / scale)) - left,
                    int(std::ceil(r.Bottom / scale)) - top);
  }
  FUnpainted = true;
  FRepaintAsked = false;
  FView.update(region);
}

void TCopyPresentation::PaintView(const QPaintEvent& event, TAlphaColor fill) {
  const QSizeF shown = FPicture.deviceIndependentSize();
  const bool fits =
      FPicture.size() == DevicePixelSize(QSizeF(FView.size()), FView.devicePixelRatioF());
  const bool asked = FUnpainted;
  if (FUnpainted) {
    FUnpainted = false;
    FLoop.Painted();
  }
  // A paint asks for a frame when the view shows for the first time or at a new size (even
  // one a frame asked for: the size may have changed since), and one that no frame asked
  // for when a frame fell due while the view was hidden or when it covers the whole view
  // (an update() of it): that brings in what changed unseen. Qt leaves opaque children out
  // of the region: with one, only a change of the scene draws anew.
  if (!fits || (!asked && (FLoop.State() == TFrameState::Due ||
                           QRegion(FView.rect()).subtracted(event.region()).isEmpty()))) {
    FRepaintAsked = true;
    FLoop.Request();
  }
  QPainter painter(&FView);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  if (shown.width() < FView.width() || shown.height() < FView.height()) {
    // A row or column the frame does not cover shows the view's colour, not old pixels.
    const TVector3D c = ColorToVector(fill);
    painter.fillRect(FView.rect(), QColor::fromRgbF(c.X * c.W, c.Y * c.W, c.Z * c.W, c.W));
  }
  painter.drawImage(QPointF(0, 0), FPicture);
}

}  // namespace rt3d

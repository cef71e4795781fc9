#pragma once
// Frames read back into main memory and painted as the view's face; the view's 2D children
// paint over them like over any widget. A frame that drew only what changed is read back and
// repainted only there.

#include "runtime3d/render/FramePresentation.h"

class QWidget;

namespace rt3d {

class TFrameLoop;

class TCopyPresentation final : public IFramePresentation {
 public:
  TCopyPresentation(QWidget& view, TFrameLoop& loop);

  TPresentation Kind() const override { return TPresentation::Copy; }
  bool KeepsFrameOf(QSize size) const override;
  bool Take(TGLFunctions& gl, TGLRenderTarget& target, const std::vector<TPixelRect>& rects,
            qreal scale, bool keepImage) override;
  void TakeBlack(QSize size, qreal scale) override;
  void Show(const std::vector<TPixelRect>& rects) override;
  void PaintView(const QPaintEvent& event, TAlphaColor fill) override;
  const QImage& Picture() const override { return FPicture; }
  void ReleaseDevice(TGLFunctions&) override {}

 private:
  QWidget& FView;
  TFrameLoop& FLoop;
  QImage FPicture;             // the last frame
  bool FBlack = false;         // FPicture is the black stand-in, not a frame
  bool FUnpainted = false;     // Show asked for a paint of a frame not yet painted
  bool FRepaintAsked = false;  // a paint asked for the frame to come
};

}  // namespace rt3d

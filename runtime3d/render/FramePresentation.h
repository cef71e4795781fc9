#pragma once
// How a drawn frame reaches the screen: the view hands each frame over and asks for it to be
// shown, and never asks which presentation it holds. TCopyPresentation reads the picture
// back and paints it as the view's face (a software rasterizer); TComposePresentation leaves
// it on the GPU for a GL child widget that the window system composes (Presentation.h).

#include <vector>

#include <QImage>
#include <QSize>

#include "runtime3d/core/FrameDamage.h"
#include "runtime3d/core/Types.h"
#include "runtime3d/render/GLDevice.h"
#include "runtime3d/render/Presentation.h"

class QPaintEvent;

namespace rt3d {

class TGLRenderTarget;

class IFramePresentation {
 public:
  virtual ~IFramePresentation() = default;

  virtual TPresentation Kind() const = 0;
  // Whether the last frame's pixels stay in place for a next one of this pixel size, so that
  // it may draw only what changed.
  virtual bool KeepsFrameOf(QSize size) const = 0;
  // Takes the frame drawn into target, of which rects were drawn (device context current);
  // with keepImage Picture() gives it too. False when it cannot: the view shows black then.
  virtual bool Take(TGLFunctions& gl, TGLRenderTarget& target, const std::vector<TPixelRect>& rects,
                    qreal scale, bool keepImage) = 0;
  // Black of that size instead of a frame (no GL needed).
  virtual void TakeBlack(QSize size, qreal scale) = 0;
  // Asks the window system to show the frame taken last, of which rects changed.
  virtual void Show(const std::vector<TPixelRect>& rects) = 0;
  // The view's own paint. It only shows what was taken; a repaint of the whole view that
  // no frame asked for asks for one.
  virtual void PaintView(const QPaintEvent& event, TAlphaColor fill) = 0;
  // The last frame taken, when it was kept as an image.
  virtual const QImage& Picture() const = 0;
  // The device's objects go (device context current).
  virtual void ReleaseDevice(TGLFunctions& gl) = 0;
  // The view goes: nothing more is shown.
  virtual void Close() {}
};

}  // namespace rt3d

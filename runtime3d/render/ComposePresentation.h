#pragma once
// Frames left on the GPU: each is resolved into a picture shared with a GL child widget
// under the view's other children (TComposePresenter), which shows it as it paints, and the
// window system composes it with the window. Its frames are drawn whole.

#include <functional>
#include <memory>

#include <QPointer>

#include "runtime3d/render/FramePresentation.h"

class QWidget;

namespace rt3d {

class TComposePresenter;
class TFrameLoop;
class TGLSharedPicture;

class TComposePresentation final : public IFramePresentation {
 public:
  // unusable is called once, from the event loop, when the child's GL context cannot use
  // the device's objects: the view then presents by copy.
  TComposePresentation(QWidget& view, TFrameLoop& loop, std::function<void()> unusable);
  ~TComposePresentation() override;

  TPresentation Kind() const override { return TPresentation::Compose; }
  bool KeepsFrameOf(QSize) const override { return false; }
  bool Take(TGLFunctions& gl, TGLRenderTarget& target, const std::vector<TPixelRect>& rects,
            qreal scale, bool keepImage) override;
  void TakeBlack(QSize size, qreal scale) override;
  void Show(const std::vector<TPixelRect>& rects) override;
  void PaintView(const QPaintEvent& event, TAlphaColor fill) override;
  const QImage& Picture() const override { return FImage; }
  void ReleaseDevice(TGLFunctions& gl) override;
  void Close() override;

 private:
  // The child showed the picture.
  void ChildPainted();
  bool PictureFits() const;

  QWidget& FView;
  TFrameLoop& FLoop;
  // The picture outlives the child, which gives its GL objects back while it exists.
  std::unique_ptr<TGLSharedPicture> FPicture;
  QPointer<TComposePresenter> FPresenter;  // a child of the view
  QImage FImage;                           // the last frame, when asked to keep it
  bool FUnpainted = false;                 // shown, not yet painted by the child
};

}  // namespace rt3d

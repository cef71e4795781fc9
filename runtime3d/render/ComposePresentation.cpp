#include "runtime3d/render/ComposePresentation.h"

#include <QPaintEvent>
#include <QWidget>

#include "runtime3d/render/ComposePresenter.h"
#include "runtime3d/render/FrameLoop.h"
#include "runtime3d/render/GLRenderTarget.h"
#include "runtime3d/render/GLSharedPicture.h"

namespace rt3d {

TComposePresentation::TComposePresentation(QWidget& view, TFrameLoop& loop,
                                           std::function<void()> unusable)
    : FView(view), FLoop(loop), FPicture(std::make_unique<TGLSharedPicture>()) {
  FPresenter = new TComposePresenter(
      view, *FPicture, [this] { ChildPainted(); }, std::move(unusable));
}

void TComposePresentation::ChildPainted() {
  const bool asked = FUnpainted;
  if (FUnpainted) {
    FUnpainted = false;
    FLoop.Painted();
  }
  // Shown for the first time or at a new size, or after a frame fell due while hidden.
  if (!PictureFits() || (!asked && FLoop.State() == TFrameState::Due)) FLoop.Request();
}

bool TComposePresentation::PictureFits() const {
  return FPicture->Size() == DevicePixelSize(QSizeF(FView.size()), FView.devicePixelRatioF());
}

TComposePresentation::~TComposePresentation() {
  Close();
}

void TComposePresentation::Close() {
  delete FPresenter;
}

bool TComposePresentation::Take(TGLFunctions& gl, TGLRenderTarget& target,
                                const std::vector<TPixelRect>&, qreal scale, bool keepImage) {
  if (!FPicture->Publish(gl, target)) return false;
  if (keepImage) {
    if (!target.ReadPixelsInto(FImage)) return false;
    FImage.setDevicePixelRatio(scale);
  }
  return true;
}

void TComposePresentation::TakeBlack(QSize size, qreal scale) {
  FPicture->Clear();
  FImage = QImage(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
  FImage.fill(Qt::black);
  FImage.setDevicePixelRatio(scale);
}

void TComposePresentation::Show(const std::vector<TPixelRect>&) {
  if (!FPresenter) return;
  FUnpainted = true;
  FPresenter->update();
}

void TComposePresentation::PaintView(const QPaintEvent& event, TAlphaColor) {
  // The child covers the view and paints the frame; a paint that no frame asked for asks
  // for one as the copy's does.
  if (!PictureFits() ||
      (!FUnpainted && (FLoop.State() == TFrameState::Due ||
                       QRegion(FView.rect()).subtracted(event.region()).isEmpty())))
    FLoop.Request();
}

void TComposePresentation::ReleaseDevice(TGLFunctions& gl) {
  FPicture->ReleaseDevice(gl);
}

}  // namespace rt3d

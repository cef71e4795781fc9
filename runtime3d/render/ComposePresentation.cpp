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
      view, *FPicture,
      [this] {
        if (!FUnpainted) return;
        FUnpainted = false;
        FLoop.Painted();
      },
      std::move(unusable));
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
  // The child covers the view and paints the frame; a repaint of the whole view that no
  // frame asked for asks for one, as the copy does.
  const bool wholeView = QRegion(FView.rect()).subtracted(event.region()).isEmpty();
  if (wholeView && !FUnpainted) FLoop.Request();
}

void TComposePresentation::ReleaseDevice(TGLFunctions& gl) {
  FPicture->ReleaseDevice(gl);
}

}  // namespace rt3d

#include "runtime3d/render/DeviceSurface.h"

#include "runtime3d/render/GLDevice.h"

namespace rt3d {

bool TDeviceSurface::MakeCurrent() {
  if (FFailed) return false;  // a driver does not get better by asking again
  if (!FContext) {
    FContext = std::make_unique<QOpenGLContext>();
    FContext->setFormat(DeviceSurfaceFormat());
    const QSurfaceFormat got = FContext->create() ? FContext->format() : QSurfaceFormat();
    if (got.renderableType() != QSurfaceFormat::OpenGL ||
        got.version() < qMakePair(kRequiredGLMajor, kRequiredGLMinor)) {
      FContext.reset();
      FFailed = true;
      return false;
    }
    // Only for a context that exists, in the format it got.
    FSurface.setFormat(FContext->format());
    FSurface.create();
  }
  return FSurface.isValid() && FContext->makeCurrent(&FSurface);
}

void TDeviceSurface::DoneCurrent() {
  if (FContext) FContext->doneCurrent();
}

}  // namespace rt3d

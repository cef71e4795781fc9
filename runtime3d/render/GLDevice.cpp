#include "runtime3d/render/GLDevice.h"

#include <cmath>
#include <optional>

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>

namespace rt3d {

namespace {

// Set by the first check that got as far as a current context.
std::optional<QString> RendererName;

}  // namespace

QSurfaceFormat DeviceSurfaceFormat() {
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setVersion(kRequiredGLMajor, kRequiredGLMinor);
  format.setProfile(QSurfaceFormat::CoreProfile);
  format.setDepthBufferSize(24);
  format.setStencilBufferSize(8);
  format.setRedBufferSize(8);
  format.setGreenBufferSize(8);
  format.setBlueBufferSize(8);
  format.setAlphaBufferSize(8);
  // The view renders into its own multisampled target; the window surface needs none.
  format.setSamples(0);
  return format;
}

QString CannotCreateDeviceMessage(const char* className) {
  return QStringLiteral("Cannot create OpenGL %1.%2 device for '%3'.")
      .arg(kRequiredGLMajor)
      .arg(kRequiredGLMinor)
      .arg(QString::fromLatin1(className));
}

TDeviceResult CheckOpenGLDevice() {
  const TDeviceResult failed = TDeviceResult::Failure(CannotCreateDeviceMessage());
  QOpenGLContext context;
  context.setFormat(DeviceSurfaceFormat());
  if (!context.create()) return failed;
  const QSurfaceFormat got = context.format();
  if (got.renderableType() != QSurfaceFormat::OpenGL ||
      got.version() < qMakePair(kRequiredGLMajor, kRequiredGLMinor)) {
    return failed;
  }
  QOffscreenSurface surface;
  surface.setFormat(got);
  surface.create();
  if (!surface.isValid() || !context.makeCurrent(&surface)) return failed;
  auto* functions = QOpenGLVersionFunctionsFactory::get<TGLFunctions>(&context);
  const bool resolved = functions && functions->initializeOpenGLFunctions();
  if (resolved && !RendererName) {
    RendererName =
        QString::fromLatin1(reinterpret_cast<const char*>(functions->glGetString(GL_RENDERER)));
  }
  context.doneCurrent();
  return resolved ? TDeviceResult() : failed;
}

QString DeviceRendererName() {
  if (!RendererName) {
    // Only the name is wanted here; a failure shows as an empty name.
    (void)CheckOpenGLDevice();
    if (!RendererName) RendererName = QString();  // a failing driver is not asked again
  }
  return *RendererName;
}

int RoundHalfEven(double value) {
  return int(std::nearbyint(value));
}

QSize DevicePixelSize(const QSizeF& logicalSize, double scale) {
  return {RoundHalfEven(logicalSize.width() * scale), RoundHalfEven(logicalSize.height() * scale)};
}

}  // namespace rt3d

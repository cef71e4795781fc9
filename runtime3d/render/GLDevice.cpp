#include "runtime3d/render/GLDevice.h"

#include <cmath>
#include <optional>
#include <vector>

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>

namespace rt3d {

namespace {

// Set by the first check that got as far as a current context.
std::optional<QString> RendererName;

// The OpenGL the system offers when the device cannot be had: the version of a context
// asked for nothing in particular, else of the newest core profile below the one
// required, with its renderer ("3.2 (llvmpipe (LLVM 15.0.6, 256 bits))"). Empty when
// there is no OpenGL at all.
QString OfferedOpenGL() {
  QOffscreenSurface surface;
  surface.create();
  std::vector<QSurfaceFormat> asked{QSurfaceFormat()};
  for (int minor = kRequiredGLMinor - 1; minor >= 1; --minor) {
    QSurfaceFormat core;
    core.setVersion(kRequiredGLMajor, minor);
    core.setProfile(QSurfaceFormat::CoreProfile);
    asked.push_back(core);
  }
  for (const QSurfaceFormat& format : asked) {
    QOpenGLContext context;
    context.setFormat(format);
    if (!context.create() || !surface.isValid() || !context.makeCurrent(&surface)) continue;
    const auto* renderer =
        reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    const QSurfaceFormat got = context.format();
    QString offered = QStringLiteral("%1.%2").arg(got.majorVersion()).arg(got.minorVersion());
    if (renderer != nullptr) offered += QStringLiteral(" (%1)").arg(QString::fromLatin1(renderer));
    context.doneCurrent();
    return offered;
  }
  return {};
}

// The start-up check's second line: what there is and what to do about it.
QString DeviceAdvice() {
  const QString offered = OfferedOpenGL();
  const QString found = offered.isEmpty()
                            ? QStringLiteral("This system offers no OpenGL at all.")
                            : QStringLiteral("This system offers OpenGL %1.").arg(offered);
  return found + QStringLiteral(
                     " Update or install the graphics driver; on a machine without a GPU, "
                     "Mesa's software renderer gives OpenGL 4.5.");
}

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
  // The class name alone tells a user nothing to act on: the second line does.
  const auto failed = [] {
    return TDeviceResult::Failure(CannotCreateDeviceMessage() + QLatin1Char('\n') + DeviceAdvice());
  };
  QOpenGLContext context;
  context.setFormat(DeviceSurfaceFormat());
  if (!context.create()) return failed();
  const QSurfaceFormat got = context.format();
  if (got.renderableType() != QSurfaceFormat::OpenGL ||
      got.version() < qMakePair(kRequiredGLMajor, kRequiredGLMinor)) {
    return failed();
  }
  QOffscreenSurface surface;
  surface.setFormat(got);
  surface.create();
  if (!surface.isValid() || !context.makeCurrent(&surface)) return failed();
  auto* functions = QOpenGLVersionFunctionsFactory::get<TGLFunctions>(&context);
  const bool resolved = functions && functions->initializeOpenGLFunctions();
  if (resolved && !RendererName) {
    RendererName =
        QString::fromLatin1(reinterpret_cast<const char*>(functions->glGetString(GL_RENDERER)));
  }
  context.doneCurrent();
  return resolved ? TDeviceResult() : failed();
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

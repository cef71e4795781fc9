#pragma once
// What every GL surface of the program asks for, the start-up check that such a device can
// be had, and the rounding that turns a logical size into the render target's pixel size.

#include <utility>

#include <QSize>
#include <QSizeF>
#include <QString>
#include <QSurfaceFormat>

class QOpenGLFunctions_3_3_Core;

namespace rt3d {

using TGLFunctions = QOpenGLFunctions_3_3_Core;

// The device needs OpenGL 3.3 core; newer features are used only when present.
inline constexpr int kRequiredGLMajor = 3;
inline constexpr int kRequiredGLMinor = 3;

// OpenGL 3.3 core with 24-bit depth and 8-bit stencil. The app sets it as the default
// format before the QApplication exists, so every context of the process shares it.
QSurfaceFormat DeviceSurfaceFormat();

// What a device operation gives back: nothing when it worked, else the message to show.
class [[nodiscard]] TDeviceResult {
 public:
  TDeviceResult() = default;
  // A failure always says what failed.
  static TDeviceResult Failure(QString message) { return TDeviceResult(std::move(message)); }

  bool Ok() const { return FMessage.isEmpty(); }
  explicit operator bool() const { return Ok(); }
  const QString& Message() const { return FMessage; }

 private:
  explicit TDeviceResult(QString message) : FMessage(std::move(message)) {}
  QString FMessage;
};

// "Cannot create OpenGL 3.3 device for '<className>'."
QString CannotCreateDeviceMessage(const char* className = "TGLContext");

// Tries to make an OpenGL 3.3 core context on an off-screen surface. Needs a
// QGuiApplication. A failure's message is CannotCreateDeviceMessage() and a second line
// with the OpenGL version and renderer the system does offer and what to do.
TDeviceResult CheckOpenGLDevice();

// GL_RENDERER of such a device ("llvmpipe (LLVM 15.0.6, 256 bits)"), asked once per process
// (by the check above when it ran); empty when no device can be had.
QString DeviceRendererName();

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
int RoundHalfEven(double value);

// The pixel size of a render target for a logical size at a display scale: each side
// scaled and rounded half to even.
QSize DevicePixelSize(const QSizeF& logicalSize, double scale);

}  // namespace rt3d

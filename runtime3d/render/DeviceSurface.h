#pragma once
// The view's own GL context; it draws into off-screen targets only, so its surface is an
// off-screen one. A context below the version the device needs is of no use: it is dropped
// at once, never asked for again, and the view shows black.

#include <memory>

#include <QOffscreenSurface>
#include <QOpenGLContext>

namespace rt3d {

class TDeviceSurface {
 public:
  // Makes the context current (creating it the first time); false when it cannot be made.
  bool MakeCurrent();
  void DoneCurrent();
  // No context of the version the device needs could be made.
  bool Failed() const { return FFailed; }

 private:
  QOffscreenSurface FSurface;
  std::unique_ptr<QOpenGLContext> FContext;  // goes before the surface it was used with
  bool FFailed = false;
};

}  // namespace rt3d

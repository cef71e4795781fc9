#pragma once
// A frame the device drew, shown by another GL context without leaving the GPU.
//
// Framebuffers belong to the context that made them; renderbuffers and fences belong to the
// whole share group. So the device resolves each frame into a single-sample renderbuffer and
// sets a fence after it; the showing context attaches that renderbuffer to a framebuffer of
// its own, has the GPU wait for the fence and blits. Both contexts must share objects.

#include <cstdint>
#include <memory>

#include <qopengl.h>
#include <QSize>

#include "runtime3d/render/GLDevice.h"

namespace rt3d {

class TGLRenderTarget;

class TGLSharedPicture {
 public:
  TGLSharedPicture();
  ~TGLSharedPicture();
  TGLSharedPicture(const TGLSharedPicture&) = delete;
  TGLSharedPicture& operator=(const TGLSharedPicture&) = delete;

  // --- The device's side ---------------------------------------------------------------
  // Resolves frame into the picture (device context current); false, with no picture
  // shown, when none can be made.
  bool Publish(TGLFunctions& gl, TGLRenderTarget& frame);
  // No picture: black is shown. Needs no GL.
  void Clear() { FShown = false; }
  // Frees the device's objects (device context current); black is shown.
  void ReleaseDevice(TGLFunctions& gl);
  bool Shown() const { return FShown; }
  QSize Size() const;

  // --- The showing side ----------------------------------------------------------------
  // Copies the picture into framebuffer, whose pixel size is size, top-left aligned; black
  // where there is none (showing context current).
  void ShowIn(TGLFunctions& gl, unsigned framebuffer, QSize size);
  // Frees the showing side's objects (its context current, before it goes).
  void ReleaseShowing(TGLFunctions& gl);

 private:
  // Device context.
  std::unique_ptr<TGLRenderTarget> FResolved;
  GLsync FFence = nullptr;
  std::uint64_t FGeneration = 0;  // counts the renderbuffers made: names come back
  bool FShown = false;
  // Showing context.
  GLuint FReadFramebuffer = 0;
  std::uint64_t FAttached = 0;  // the generation attached to FReadFramebuffer
};

}  // namespace rt3d

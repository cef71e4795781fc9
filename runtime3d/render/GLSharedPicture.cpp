#include "runtime3d/render/GLSharedPicture.h"

#include <QOpenGLFunctions_3_3_Core>

#include "runtime3d/render/GLRenderTarget.h"

namespace rt3d {

TGLSharedPicture::TGLSharedPicture() = default;

// The GL objects are given back by the two Release calls, each in its own context.
TGLSharedPicture::~TGLSharedPicture() = default;

QSize TGLSharedPicture::Size() const {
  return FShown && FResolved ? FResolved->Size() : QSize();
}

bool TGLSharedPicture::Publish(TGLFunctions& gl, TGLRenderTarget& frame) {
  FShown = false;
  if (!frame.IsValid()) return false;
  if (!FResolved || FResolved->Size() != frame.Size()) {
    FResolved.reset();
    FResolved = std::make_unique<TGLRenderTarget>(gl, frame.Size(), TMultisample::None, false);
    ++FGeneration;
  }
  if (!FResolved->IsValid()) {
    FResolved.reset();
    return false;
  }
  GLint previous = 0;
  gl.glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
  frame.ResolveInto(FResolved->Framebuffer(), frame.Size());
  gl.glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
  if (FFence) gl.glDeleteSync(FFence);
  FFence = gl.glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
  // The fence has to reach the GPU before another context can wait for it.
  gl.glFlush();
  FShown = true;
  return true;
}

void TGLSharedPicture::ReleaseDevice(TGLFunctions& gl) {
  FShown = false;
  if (FFence) gl.glDeleteSync(FFence);
  FFence = nullptr;
  FResolved.reset();
}

void TGLSharedPicture::ShowIn(TGLFunctions& gl, unsigned framebuffer, QSize size) {
  gl.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
  gl.glDisable(GL_SCISSOR_TEST);
  gl.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  const QSize picture = Size();
  if (picture.width() < size.width() || picture.height() < size.height()) {
    gl.glClearColor(0, 0, 0, 1);
    gl.glClear(GL_COLOR_BUFFER_BIT);
  }
  if (picture.isEmpty()) return;
  if (!FReadFramebuffer) gl.glGenFramebuffers(1, &FReadFramebuffer);
  gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, FReadFramebuffer);
  if (FAttached != FGeneration) {
    gl.glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                 FResolved->ColorBuffer());
    FAttached = FGeneration;
  }
  if (gl.glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) {
    if (FFence) gl.glWaitSync(FFence, 0, GL_TIMEOUT_IGNORED);
    // GL counts rows from the bottom: the picture's top row goes to the target's top.
    const int w = picture.width(), h = picture.height(), top = size.height();
    gl.glBlitFramebuffer(0, 0, w, h, 0, top - h, w, top, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  }
  gl.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
}

void TGLSharedPicture::ReleaseShowing(TGLFunctions& gl) {
  if (FReadFramebuffer) gl.glDeleteFramebuffers(1, &FReadFramebuffer);
  FReadFramebuffer = 0;
  FAttached = 0;
}

}  // namespace rt3d

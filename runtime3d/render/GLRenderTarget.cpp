#include "runtime3d/render/GLRenderTarget.h"

#include <algorithm>
#include <optional>

#include <QOpenGLFunctions_3_3_Core>

namespace rt3d {

int SampleCount(TMultisample multisample) {
  switch (multisample) {
    case TMultisample::None:
      return 1;
    case TMultisample::TwoSamples:
      return 2;
    case TMultisample::FourSamples:
      return 4;
  }
  return 1;
}

TGLRenderTarget::TGLRenderTarget(TGLFunctions& gl, QSize size, TMultisample multisample, bool depth)
    : FGL(gl), FSize(size) {
  if (size.isEmpty()) return;
  GLint maxSamples = 1;
  FGL.glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
  for (int samples = SampleCount(multisample); samples >= 2; --samples) {
    if (samples <= maxSamples && Create(samples, depth)) return;
  }
  Create(1, depth);
}

TGLRenderTarget::~TGLRenderTarget() {
  Destroy();
}

bool TGLRenderTarget::Create(int samples, bool depth) {
  Destroy();
  GLint previous = 0;
  FGL.glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
  auto storage = [&](GLenum format) {
    if (samples > 1) {
      FGL.glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, format, FSize.width(),
                                           FSize.height());
    } else {
      FGL.glRenderbufferStorage(GL_RENDERBUFFER, format, FSize.width(), FSize.height());
    }
  };
  FGL.glGenRenderbuffers(1, &FColorBuffer);
  FGL.glBindRenderbuffer(GL_RENDERBUFFER, FColorBuffer);
  storage(GL_RGBA8);
  GLint actualSamples = 0;
  FGL.glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_SAMPLES, &actualSamples);
  if (depth) {
    FGL.glGenRenderbuffers(1, &FDepthBuffer);
    FGL.glBindRenderbuffer(GL_RENDERBUFFER, FDepthBuffer);
    storage(GL_DEPTH24_STENCIL8);
  }
  FGL.glBindRenderbuffer(GL_RENDERBUFFER, 0);

  FGL.glGenFramebuffers(1, &FFramebuffer);
  FGL.glBindFramebuffer(GL_FRAMEBUFFER, FFramebuffer);
  FGL.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                FColorBuffer);
  if (depth) {
    FGL.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                  FDepthBuffer);
  }
  const bool complete = FGL.glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  FGL.glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
  // Errors of a refused size or sample count must not reach the next caller of glGetError.
  bool failed = false;
  while (FGL.glGetError() != GL_NO_ERROR) failed = true;
  if (!complete || failed) {
    Destroy();
    return false;
  }
  FSamples = std::max(1, int(actualSamples));
  return true;
}

void TGLRenderTarget::Destroy() {
  if (FFramebuffer) FGL.glDeleteFramebuffers(1, &FFramebuffer);
  if (FColorBuffer) FGL.glDeleteRenderbuffers(1, &FColorBuffer);
  if (FDepthBuffer) FGL.glDeleteRenderbuffers(1, &FDepthBuffer);
  FFramebuffer = FColorBuffer = FDepthBuffer = 0;
  FSamples = 0;
}

void TGLRenderTarget::ResolveInto(unsigned targetFramebuffer, QSize targetSize) {
  if (!IsValid()) return;
  const int w = FSize.width(), h = FSize.height();
  // GL counts rows from the bottom: keep the picture's top row at the target's top. A
  // multisample resolve needs equal rectangles, so the picture is never scaled.
  const int top = targetSize.height();
  FGL.glBindFramebuffer(GL_READ_FRAMEBUFFER, FFramebuffer);
  FGL.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, targetFramebuffer);
  FGL.glDisable(GL_SCISSOR_TEST);
  FGL.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  FGL.glBlitFramebuffer(0, 0, w, h, 0, top - h, w, top, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  FGL.glBindFramebuffer(GL_FRAMEBUFFER, targetFramebuffer);
}

void TGLRenderTarget::CopyRectFrom(const TGLRenderTarget& source, const TPixelRect& rect) {
  if (!IsValid() || !source.IsValid()) return;
  const int x0 = rect.Left, y0 = FSize.height() - rect.Bottom;
  const int x1 = rect.Right, y1 = FSize.height() - rect.Top;
  FGL.glBindFramebuffer(GL_READ_FRAMEBUFFER, source.Framebuffer());
  FGL.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, FFramebuffer);
  // The copy obeys the scissor and the write masks.
  FGL.glDisable(GL_SCISSOR_TEST);
  FGL.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  FGL.glDepthMask(GL_TRUE);
  FGL.glStencilMask(0xFF);
  GLbitfield buffers = GL_COLOR_BUFFER_BIT;
  if (FDepthBuffer && source.FDepthBuffer) buffers |= GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT;
  FGL.glBlitFramebuffer(x0, y0, x1, y1, x0, y0, x1, y1, buffers, GL_NEAREST);
  FGL.glBindFramebuffer(GL_FRAMEBUFFER, FFramebuffer);
}

QImage TGLRenderTarget::ReadPixels() {
  QImage image;
  if (!ReadPixelsInto(image)) return {};
  return image;
}

unsigned TGLRenderTarget::Resolved(const TPixelRect* rect) {
  if (FSamples <= 1) return FFramebuffer;
  if (!FResolved || FResolved->Size() != FSize) {
    FResolved.reset();
    FResolved = std::make_unique<TGLRenderTarget>(FGL, FSize, TMultisample::None, false);
  }
  if (!FResolved->IsValid()) {
    FResolved.reset();
    return 0;
  }
  if (!rect) {
    ResolveInto(FResolved->Framebuffer(), FSize);
    return FResolved->Framebuffer();
  }
  // A multisample resolve copies equal rectangles: the same place in both.
  const int x0 = rect->Left, y0 = FSize.height() - rect->Bottom;
  const int x1 = rect->Right, y1 = FSize.height() - rect->Top;
  FGL.glBindFramebuffer(GL_READ_FRAMEBUFFER, FFramebuffer);
  FGL.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, FResolved->Framebuffer());
  FGL.glDisable(GL_SCISSOR_TEST);
  FGL.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  FGL.glBlitFramebuffer(x0, y0, x1, y1, x0, y0, x1, y1, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  return FResolved->Framebuffer();
}

bool TGLRenderTarget::ReadPixelsInto(QImage& image) {
  if (!IsValid()) return false;
  const int w = FSize.width(), h = FSize.height();
  GLint previous = 0;
  FGL.glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
  // Samples cannot be read directly: resolve into a single-sample copy first.
  const GLuint source = Resolved(nullptr);
  if (!source) return false;
  if (image.size() != FSize || image.format() != QImage::Format_ARGB32_Premultiplied) {
    image = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return false;
  }
  // bits() copies first when the pixels are shared with an image handed out before.
  uchar* pixels = image.bits();
  FGL.glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
  FGL.glPixelStorei(GL_PACK_ALIGNMENT, 4);
  FGL.glPixelStorei(GL_PACK_ROW_LENGTH, int(image.bytesPerLine() / 4));
  // Premultiplied ARGB32 is B, G, R, A in memory on the little-endian machines we run on.
  FGL.glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
  FGL.glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  FGL.glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
  image.mirror(false, true);
  return true;
}

bool TGLRenderTarget::ReadRectsInto(QImage& image, const std::vector<TPixelRect>& rects) {
  if (!IsValid() || image.size() != FSize ||
      image.format() != QImage::Format_ARGB32_Premultiplied) {
    return false;
  }
  for (const TPixelRect& rect : rects) {
    if (rect.Left < 0 || rect.Top < 0 || rect.Right > FSize.width() ||
        rect.Bottom > FSize.height()) {
      return false;
    }
  }
  GLint previous = 0;
  FGL.glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
  // Every resolve is asked for before the first read waits for the drawing: the device
  // then works through them in one go.
  GLuint source = 0;
  for (const TPixelRect& rect : rects) {
    if (!rect.Empty() && !(source = Resolved(&rect))) return false;
  }
  const qsizetype stride = image.bytesPerLine();
  FGL.glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
  FGL.glPixelStorei(GL_PACK_ALIGNMENT, 4);
  FGL.glPixelStorei(GL_PACK_ROW_LENGTH, int(stride / 4));
  for (const TPixelRect& rect : rects) {
    if (rect.Empty()) continue;
    const int w = rect.Right - rect.Left, h = rect.Bottom - rect.Top;
    // GL gives the rows bottom first: read them into the image's rows of the rectangle,
    // then turn them over in place.
    uchar* first = image.bits() + rect.Top * stride + rect.Left * 4;
    FGL.glReadPixels(rect.Left, FSize.height() - rect.Bottom, w, h, GL_BGRA, GL_UNSIGNED_BYTE,
                     first);
    for (int top = 0, bottom = h - 1; top < bottom; ++top, --bottom) {
      std::swap_ranges(first + top * stride, first + top * stride + w * 4, first + bottom * stride);
    }
  }
  FGL.glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  FGL.glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
  return true;
}

}  // namespace rt3d

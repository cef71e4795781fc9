#pragma once
// An off-screen colour target of 8-bit RGBA (read back as BGRA) with a 24-bit depth and
// 8-bit stencil buffer, multisampled when the device allows. The view resolves it and
// reads the pixels back every frame, as a screenshot does.
//
// All operations need the owning GL context current.

#include <memory>
#include <vector>

#include <QImage>
#include <QSize>

#include "runtime3d/core/FrameDamage.h"
#include "runtime3d/render/GLDevice.h"

namespace rt3d {

enum class TMultisample { None, TwoSamples, FourSamples };

int SampleCount(TMultisample multisample);

class TGLRenderTarget {
 public:
  // Tries the requested sample count, then the lower ones down to 2, then a single sample.
  // Without depth, it only receives resolved pictures.
  TGLRenderTarget(TGLFunctions& gl, QSize size, TMultisample multisample, bool depth = true);
  ~TGLRenderTarget();
  TGLRenderTarget(const TGLRenderTarget&) = delete;
  TGLRenderTarget& operator=(const TGLRenderTarget&) = delete;

  // False when no framebuffer of this size could be made at any sample count.
  bool IsValid() const { return FFramebuffer != 0; }
  QSize Size() const { return FSize; }
  // The sample count in effect (the driver may give more than asked; 1 = not multisampled).
  int Samples() const { return FSamples; }
  unsigned Framebuffer() const { return FFramebuffer; }
  // The colour renderbuffer: unlike the framebuffer, other contexts sharing objects can use it.
  unsigned ColorBuffer() const { return FColorBuffer; }

  // Copies the picture into another framebuffer whose size is targetSize, top-left aligned,
  // resolving the samples on the way.
  void ResolveInto(unsigned targetFramebuffer, QSize targetSize);
  // Copies the samples of rect (rows counted from the top), colour and depth, from source, a
  // target of the same size and sample count, into the same place here; leaves this target
  // bound.
  void CopyRectFrom(const TGLRenderTarget& source, const TPixelRect& rect);
  // The picture as premultiplied ARGB32, top row first; null when the target is invalid.
  QImage ReadPixels();
  // The same into image, reusing its pixels when it has the size and format already (a
  // copy handed out before is left alone). False, with image unchanged, when nothing can
  // be read.
  bool ReadPixelsInto(QImage& image);
  // Only the pixels of rects (rows counted from the top) into the same places of image,
  // which has the target's size and premultiplied ARGB32 already; the rest of image is
  // kept. False when nothing can be read.
  bool ReadRectsInto(QImage& image, const std::vector<TPixelRect>& rects);

 private:
  bool Create(int samples, bool depth);
  // The framebuffer holding the picture with its samples resolved (this one when it is not
  // multisampled); 0 when none can be made. Resolves only rect when given.
  unsigned Resolved(const TPixelRect* rect);
  void Destroy();

  TGLFunctions& FGL;
  QSize FSize;
  int FSamples = 0;
  unsigned FFramebuffer = 0;
  unsigned FColorBuffer = 0;
  unsigned FDepthBuffer = 0;
  // Where the samples are resolved before reading, kept for the next frame.
  std::unique_ptr<TGLRenderTarget> FResolved;
};

}  // namespace rt3d

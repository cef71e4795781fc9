#include "runtime3d/render/GLState.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>

namespace rt3d {

TClipControl ResolveClipControl(QOpenGLContext& context) {
  if (context.format().version() < qMakePair(4, 5) &&
      !context.hasExtension("GL_ARB_clip_control")) {
    return nullptr;
  }
  return reinterpret_cast<TClipControl>(context.getProcAddress("glClipControl"));
}

void ApplyFrameStates(TGLFunctions& gl, TClipControl clipControl, bool zeroToOne) {
  gl.glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  gl.glBlendEquation(GL_FUNC_ADD);
  gl.glDepthFunc(GL_LEQUAL);
  gl.glDepthRange(0, 1);
  // Clockwise as seen on the screen (checked on pixels: a sphere shows its outside).
  gl.glFrontFace(GL_CW);
  gl.glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  gl.glEnable(GL_MULTISAMPLE);
  gl.glDisable(GL_DEPTH_CLAMP);
  gl.glDisable(GL_SAMPLE_ALPHA_TO_COVERAGE);
  gl.glDisable(GL_FRAMEBUFFER_SRGB);
  gl.glDisable(GL_DITHER);
  // At device start the depth test is off and depth writes are on.
  gl.glDisable(GL_DEPTH_TEST);
  gl.glDepthMask(GL_TRUE);
  gl.glDisable(GL_BLEND);
  gl.glDisable(GL_STENCIL_TEST);
  gl.glDisable(GL_SCISSOR_TEST);
  gl.glDisable(GL_CULL_FACE);
  gl.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  if (clipControl) clipControl(GL_LOWER_LEFT, zeroToOne ? GL_ZERO_TO_ONE : GL_NEGATIVE_ONE_TO_ONE);
}

void ApplyRenderState(TGLFunctions& gl, const TRenderState& changes) {
  auto enable = [&](GLenum cap, bool on) { on ? gl.glEnable(cap) : gl.glDisable(cap); };
  if (changes.DepthTest) enable(GL_DEPTH_TEST, *changes.DepthTest);
  if (changes.DepthWrite) gl.glDepthMask(*changes.DepthWrite ? GL_TRUE : GL_FALSE);
  if (changes.Blend) enable(GL_BLEND, *changes.Blend);
  if (changes.Stencil) enable(GL_STENCIL_TEST, *changes.Stencil);
  if (changes.ColorWrite) {
    const GLboolean on = *changes.ColorWrite ? GL_TRUE : GL_FALSE;
    gl.glColorMask(on, on, on, on);
  }
  if (changes.Scissor) enable(GL_SCISSOR_TEST, *changes.Scissor);
  if (changes.Faces) {
    enable(GL_CULL_FACE, *changes.Faces != TFaceCulling::ShowAll);
    if (*changes.Faces != TFaceCulling::ShowAll) {
      gl.glCullFace(*changes.Faces == TFaceCulling::ShowFront ? GL_BACK : GL_FRONT);
    }
  }
}

}  // namespace rt3d

#include "runtime3d/render/GLContext.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>

#include "runtime3d/material/Material.h"
#include "runtime3d/mesh/MeshData.h"
#include "runtime3d/render/GLRenderTarget.h"

namespace rt3d {

TGLContext::TGLContext() : FDefaultMaterial(std::make_unique<TColorMaterial>()) {}

// GL objects go with the GL context; the parts only forget the resources they held.
TGLContext::~TGLContext() = default;

// --- Device lifetime ---------------------------------------------------------------------------

TDeviceResult TGLContext::InitializeDevice() {
  if (FGL) return {};
  QOpenGLContext* context = QOpenGLContext::currentContext();
  FDeviceError = CannotCreateDeviceMessage();
  const TDeviceResult failed = TDeviceResult::Failure(FDeviceError);
  if (!context || context->isOpenGLES() ||
      context->format().version() < qMakePair(kRequiredGLMajor, kRequiredGLMinor)) {
    return failed;
  }
  auto* gl = QOpenGLVersionFunctionsFactory::get<TGLFunctions>(context);
  if (!gl || !gl->initializeOpenGLFunctions()) return failed;
  FGL = gl;
  FDeviceError.clear();
  while (FGL->glGetError() != GL_NO_ERROR) {
  }
  FClipControl = ResolveClipControl(*context);
  FTextures.Start(*FGL);
  FBuffers.Start(*FGL);
  FPrograms.Start(*FGL);
  UpdateDepthConvention();
  ResetStateCache();
  return {};
}

void TGLContext::ReleaseDevice() {
  if (!FGL) return;
  FPrograms.Release();
  FBuffers.Release();
  FTextures.Release();
  FTarget = nullptr;
  FGL = nullptr;
  FClipControl = nullptr;
}

void TGLContext::SetUseClipControl(bool value) {
  if (FUseClipControl == value) return;
  FUseClipControl = value;
  UpdateDepthConvention();
}

void TGLContext::UpdateDepthConvention() {
  FPrograms.SetRemapDepth(!(FClipControl && FUseClipControl));
}

void TGLContext::SetRenderTarget(TGLRenderTarget* target) {
  FTarget = target;
  if (target) SetSize(target->Size().width(), target->Size().height());
}

void TGLContext::SwitchTarget(TGLRenderTarget& target) {
  SetRenderTarget(&target);
  if (!FGL) return;
  FGL->glBindFramebuffer(GL_FRAMEBUFFER, target.Framebuffer());
  FGL->glViewport(0, 0, target.Size().width(), target.Size().height());
}

bool TGLContext::UploadTextureBand() {
  return FGL && FTextures.UploadBand();
}

// --- Frame -------------------------------------------------------------------------------------

bool TGLContext::DoBeginScene() {
  if (!FGL || !FTarget || !FTarget->IsValid()) return false;
  FTextures.NewFrame();
  FTextures.FlushDeletions();
  FPrograms.FlushDeletions();
  FBuffers.NewFrame();
  FGL->glBindFramebuffer(GL_FRAMEBUFFER, FTarget->Framebuffer());
  FGL->glViewport(0, 0, FTarget->Size().width(), FTarget->Size().height());
  // Whatever used this GL context before may have left any state behind.
  ResetStateCache();
  ApplyFrameStates(*FGL, FClipControl, FUseClipControl);
  FGL->glBindVertexArray(FBuffers.VertexArray());
  FPrograms.Unbind();
  FGL->glUseProgram(0);
  return true;
}

void TGLContext::EndScene() {
  if (!FGL) return;
  FGL->glBindVertexArray(0);
  FGL->glUseProgram(0);
  FTextures.UnbindSamplers();
}

void TGLContext::Clear(TAlphaColor color, float depth) {
  ClearArea(color, depth, nullptr);
}

void TGLContext::ClearRect(TAlphaColor color, float depth, const TPixelRect& rect) {
  ClearArea(color, depth, &rect);
}

void TGLContext::CopyRectFrom(const TGLRenderTarget& layer, const TPixelRect& rect) {
  if (!FGL || !FTarget) return;
  FTarget->CopyRectFrom(layer, rect);
  // The masks and the scissor changed behind the cache.
  ResetStateCache();
}

void TGLContext::ClipTo(const TPixelRect& rect) {
  if (!FGL) return;
  SetScissorRect(rect);
  SetRenderState({.Scissor = true});
}

void TGLContext::ClearArea(TAlphaColor color, float depth, const TPixelRect* rect) {
  if (!FGL) return;
  TGLFunctions& gl = *FGL;
  gl.glDepthMask(GL_TRUE);
  gl.glStencilMask(0xFF);
  gl.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  if (rect) {
    gl.glEnable(GL_SCISSOR_TEST);
    SetScissorRect(*rect);
  } else {
    gl.glDisable(GL_SCISSOR_TEST);
  }
  const TVector3D c = ColorToVector(color);
  gl.glClearColor(c.X * c.W, c.Y * c.W, c.Z * c.W, c.W);
  gl.glClearDepth(depth);
  gl.glClearStencil(0);
  // Depth and stencil share their pixels: clearing both at once is one plain fill, where
  // clearing the depth alone has to keep the stencil bits of every pixel.
  gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  // The masks and the scissor changed behind the cache.
  ResetStateCache();
  if (rect) SetRenderState({.Scissor = true});
}

void TGLContext::SetScissorRect(const TPixelRect& rect) {
  FGL->glScissor(rect.Left, Height() - rect.Bottom, rect.Right - rect.Left, rect.Bottom - rect.Top);
}

void TGLContext::DoSetRenderState(const TRenderState& changes) {
  if (FGL) ApplyRenderState(*FGL, changes);
}

// --- Programs, textures, draws -----------------------------------------------------------------

void TGLContext::SetShaders(TShaderProgram* vertexShader, TShaderProgram* pixelShader) {
  if (!FGL || !vertexShader || !pixelShader) return;
  FPrograms.Use(*vertexShader, *pixelShader);
}

void TGLContext::SetShaderVariable(std::string_view name, const TVector3D& value) {
  FPrograms.SetVariable(name, value);
}

void TGLContext::SetShaderVariable(std::string_view name, const TMatrix3D& value) {
  FPrograms.SetVariable(name, value);
}

void TGLContext::SetShaderTexture(std::string_view name, TTexture* texture, int unit) {
  if (!FGL || unit < 0 || unit >= FTextures.Units()) return;
  FTextures.Bind(texture, unit);
  const int location = FPrograms.UniformLocation(name);
  if (location >= 0) FGL->glUniform1i(location, unit);
}

void TGLContext::DrawTriangles(const TVertexBuffer& vertices, const TIndexBuffer& indices,
                               float opacity, IMaterial* material) {
  DrawWithMaterial(*this, opacity, material, *FDefaultMaterial, [&] {
    if (!FGL || !FPrograms.Ready()) return;
    if (vertices.Length() == 0 || indices.Length() < 3) return;
    FBuffers.DrawTriangles(vertices, indices);
  });
}

}  // namespace rt3d

#pragma once
// The GL device behind a viewport's render context: its lifetime and its frames. The jobs
// are done by its parts: render states (GLState), shader programs and uniforms
// (GLPrograms), textures and the streaming of their full images (GLTextureStreamer), mesh
// buffers and draws (GLBuffers).
//
// The context object itself needs no GL: a viewport makes it at once, so picking works
// before anything is shown. InitializeDevice() binds it to the current QOpenGLContext and
// ReleaseDevice() gives every GL object back; both need that GL context current, and so
// does every drawing call in between.
//
// Device conventions:
//  - a face is front-facing when it runs clockwise as seen on the screen. GL's window space
//    is y-up but is shown y-up too, so what looks clockwise is GL_CW; only the read-back
//    rows come bottom first;
//  - depth runs 0..1 from near to far: glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE) where
//    the driver has it, otherwise vertex programs are compiled with the depth remap define.

#include <cstdint>
#include <memory>
#include <string_view>

#include <QString>

#include "runtime3d/core/Context3D.h"
#include "runtime3d/core/FrameDamage.h"
#include "runtime3d/render/GLBuffers.h"
#include "runtime3d/render/GLDevice.h"
#include "runtime3d/render/GLPrograms.h"
#include "runtime3d/render/GLState.h"
#include "runtime3d/render/GLTextureStreamer.h"

namespace rt3d {

class TColorMaterial;
class TGLRenderTarget;

class TGLContext : public TContext3D {
 public:
  TGLContext();
  ~TGLContext() override;

  // --- Device lifetime (GL context current) ----------------------------------------------
  // Resolves the 3.3 core functions of the current context and makes the shared objects.
  // A failure is remembered in DeviceError() too.
  TDeviceResult InitializeDevice();
  // Frees every GL object this device made and forgets the handles it gave out.
  void ReleaseDevice();
  bool DeviceReady() const { return FGL != nullptr; }
  const QString& DeviceError() const { return FDeviceError; }
  TGLFunctions* Functions() const { return FGL; }

  // The largest side of a texture this device makes: the driver's limit, or the lower one
  // set below.
  int MaxTextureSize() const { return FTextures.MaxSize(); }
  // Makes the device behave like one with a lower limit (older hardware, tests); 0 lifts it.
  void SetTextureSizeLimit(int limit) { FTextures.SetSizeLimit(limit); }

  // What the device holds of a texture and of a program stage (for tests and measurements).
  TTextureOnDevice TextureOnDevice(const TTexture& texture) const {
    return FTextures.OnDevice(texture);
  }
  unsigned ShaderHandle(const TShaderProgram& program) const {
    return FPrograms.ShaderHandle(program);
  }

  // Some texture drawn in the last frame still shows its preview, its full pixels being
  // decoded or on their way up. Needs no GL.
  bool TexturesInProgress() const { return FTextures.InProgress(); }
  // Whether UploadTextureBand has a band to upload now. Needs no GL.
  bool TextureBandReady() const { return FTextures.BandReady(); }
  // Takes the hand-over one band of rows further: sets the decoded pixels of the next
  // texture on their way up, or uploads the next band of the one on its way. True when a
  // texture has just taken its full pixels in place of its preview (a new frame shows
  // them). Needs the GL context current, outside a frame.
  bool UploadTextureBand();
  static constexpr qsizetype kBandBytes = TGLTextureStreamer::kBandBytes;
  void SetBandBytes(qsizetype value) { FTextures.SetBandBytes(value); }
  bool HasClipControl() const { return FClipControl != nullptr; }
  // For drivers without clip control, and for testing that path on drivers that have it.
  void SetUseClipControl(bool value);

  // The framebuffer frames draw into; its size becomes the context's size.
  void SetRenderTarget(TGLRenderTarget* target);
  TGLRenderTarget* RenderTarget() const { return FTarget; }
  // Inside a frame: draws into another target from now on (same size), the frame going on.
  void SwitchTarget(TGLRenderTarget& target);

  // --- TContext3D --------------------------------------------------------------------------
  void EndScene() override;
  // Clears colour (premultiplied), depth and the stencil (to 0) whatever the masks and
  // scissor are.
  void Clear(TAlphaColor color, float depth) override;
  // The same within rect only (rows counted from the top); the scissor stays on rect for
  // the draws that follow.
  void ClearRect(TAlphaColor color, float depth, const TPixelRect& rect);
  // Copies layer's samples (colour, depth and stencil) within rect into the current target,
  // a target of the same size and sample count.
  void CopyRectFrom(const TGLRenderTarget& layer, const TPixelRect& rect);
  // Draws only within rect (rows counted from the top) from now on.
  void ClipTo(const TPixelRect& rect);
  void SetShaders(TShaderProgram* vertexShader, TShaderProgram* pixelShader) override;
  void SetShaderVariable(std::string_view name, const TVector3D& value) override;
  void SetShaderVariable(std::string_view name, const TMatrix3D& value) override;
  void SetShaderTexture(std::string_view name, TTexture* texture, int unit) override;
  void DrawTriangles(const TVertexBuffer& vertices, const TIndexBuffer& indices, float opacity,
                     IMaterial* material) override;

  // The context's default material: opaque red, for meshes without a material source.
  TColorMaterial& DefaultMaterial() { return *FDefaultMaterial; }

  // How many mesh buffers are held on the GPU (for tests of the upload cache).
  std::size_t CachedBufferCount() const { return FBuffers.Count(); }
  // How many times a mesh buffer was (re)uploaded since the device started.
  std::uint64_t BufferUploadCount() const { return FBuffers.UploadCount(); }

 protected:
  bool DoBeginScene() override;
  void DoSetRenderState(const TRenderState& changes) override;

 private:
  void ClearArea(TAlphaColor color, float depth, const TPixelRect* rect);
  // The scissor box of rect (rows counted from the top).
  void SetScissorRect(const TPixelRect& rect);
  // Vertex programs remap depth unless clip control gives the device's convention.
  void UpdateDepthConvention();

  TGLFunctions* FGL = nullptr;
  QString FDeviceError;
  TClipControl FClipControl = nullptr;
  bool FUseClipControl = true;
  TGLRenderTarget* FTarget = nullptr;
  std::unique_ptr<TColorMaterial> FDefaultMaterial;
  TGLPrograms FPrograms;
  TGLTextureStreamer FTextures;
  TGLBuffers FBuffers;
};

}  // namespace rt3d

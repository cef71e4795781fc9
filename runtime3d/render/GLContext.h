#pragma once
// The GL device behind a viewport's render context: render states, shader programs and
// their uniforms, textures and mesh buffers, and indexed draws.
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
//    the driver has it, otherwise vertex programs are compiled with the depth remap define;
//  - matrices are uploaded as stored (transpose = GL_FALSE): the programs hold the
//    transpose and write the runtime's p x MVP as `_MVPMatrix * vec4(p, 1)`;
//  - textures are 8-bit BGRA, one level, sampled bilinear and clamped to the edge. An image
//    larger than the device allows is scaled down to fit; one that cannot be made is sampled
//    as a 1x1 opaque white texture instead;
//  - a texture whose pixels are still being decoded shows its preview meanwhile. One texture
//    at a time, the largest first, takes its full image: band by band between frames
//    (UploadTextureBand), as the bands are decoded when the image comes so, else from its
//    whole decoded pixels, into an object of its own that replaces the preview once
//    complete. A large image never stalls a frame, and little more than one image is held
//    decoded beside the device's copies;
//  - each mesh buffer is uploaded to a GL buffer once and again only when its generation
//    changes.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <QImage>
#include <QString>

#include "runtime3d/core/Context3D.h"
#include "runtime3d/material/Texture.h"
#include "runtime3d/render/GLDevice.h"

namespace rt3d {

class TColorMaterial;
class TGLRenderTarget;

class TGLContext : public TContext3D {
 public:
  TGLContext();
  ~TGLContext() override;

  // --- Device lifetime (GL context current) ----------------------------------------------
  // Resolves the 3.3 core functions of the current context and makes the shared objects.
  // On failure returns false and leaves the reason in DeviceError().
  bool InitializeDevice();
  // Frees every GL object this device made and forgets the handles it gave out.
  void ReleaseDevice();
  bool DeviceReady() const { return FGL != nullptr; }
  const QString& DeviceError() const { return FDeviceError; }
  TGLFunctions* Functions() const { return FGL; }

  // The largest side of a texture this device makes: the driver's limit, or the lower one
  // set below.
  int MaxTextureSize() const;
  // Makes the device behave like one with a lower limit (older hardware, tests); 0 lifts it.
  void SetTextureSizeLimit(int limit) { FTextureSizeLimit = limit; }

  // Some texture drawn in the last frame still shows its preview, its full pixels being
  // decoded or on their way up. Needs no GL.
  bool TexturesInProgress() const;
  // Whether UploadTextureBand has a band to upload now. Needs no GL.
  bool TextureBandReady() const;
  // Takes the hand-over one band of rows further: sets the decoded pixels of the next
  // texture on their way up, or uploads the next band of the one on its way. True when a
  // texture has just taken its full pixels in place of its preview (a new frame shows
  // them). Needs the GL context current, outside a frame.
  bool UploadTextureBand();
  // The most a band holds: on a software rasterizer 8 MB go up in about 1.5 ms, the largest
  // image in nine bands.
  static constexpr qsizetype kBandBytes = 8 << 20;
  void SetBandBytes(qsizetype value) { FBandBytes = std::max<qsizetype>(value, 1); }
  bool HasClipControl() const { return FClipControl != nullptr; }
  // For drivers without clip control, and for testing that path on drivers that have it.
  void SetUseClipControl(bool value);

  // The framebuffer frames draw into; its size becomes the context's size.
  void SetRenderTarget(TGLRenderTarget* target);
  TGLRenderTarget* RenderTarget() const { return FTarget; }

  // --- TContext3D --------------------------------------------------------------------------
  void EndScene() override;
  // Clears colour (premultiplied) and depth whatever the masks and scissor are; the stencil
  // is left as it is.
  void Clear(TAlphaColor color, float depth) override;
  void SetShaders(TShaderProgram* vertexShader, TShaderProgram* pixelShader) override;
  void SetShaderVariable(std::string_view name, const TVector3D& value) override;
  void SetShaderVariable(std::string_view name, const TMatrix3D& value) override;
  void SetShaderTexture(std::string_view name, TTexture* texture, int unit) override;
  void DrawTriangles(const TVertexBuffer& vertices, const TIndexBuffer& indices, float opacity,
                     IMaterial* material) override;

  // The context's default material: opaque red, for meshes without a material source.
  TColorMaterial& DefaultMaterial() { return *FDefaultMaterial; }

  // How many mesh buffers are held on the GPU (for tests of the upload cache).
  std::size_t CachedBufferCount() const { return FBuffers.size(); }
  // How many times a mesh buffer was (re)uploaded since the device started.
  std::uint64_t BufferUploadCount() const { return FBufferUploads; }

 protected:
  bool DoBeginScene() override;
  void DoSetContextState(TContextState state) override;

 private:
  struct TUniform {
    int Location = -1;
    unsigned Type = 0;
  };
  struct TLinkedProgram {
    TShaderProgram* Vertex = nullptr;
    TShaderProgram* Pixel = nullptr;
    unsigned Program = 0;
    std::unordered_map<std::string, TUniform> Uniforms;
  };
  struct TBufferEntry {
    unsigned Buffer = 0;
    std::uint64_t Generation = 0;
    std::uint64_t LastUsedFrame = 0;
    // Largest index of an index buffer, checked once per upload; -1 until then.
    std::int64_t MaxIndex = -1;
  };

  void ApplyFixedStates();
  unsigned CompileShader(TShaderProgram& program);
  TLinkedProgram* LinkProgram(TShaderProgram& vertex, TShaderProgram& pixel);
  const TUniform* FindUniform(std::string_view variable);
  // What the device keeps of a texture it has made.
  struct TTextureState {
    std::uint64_t LastUsedFrame = 0;
    // The full pixels could not be had or made: the preview stays.
    bool KeepsPreview = false;
  };
  // The full pixels of a texture that shows its preview, on their way up into Handle: its
  // bands as they are decoded, or its whole pixels. The rows above NextRow are there.
  struct TRising {
    TTexture* Texture = nullptr;
    std::unique_ptr<IPixelBands> Bands;
    QImage Pixels;
    unsigned Handle = 0;
    int NextRow = 0;
  };
  unsigned DeviceTexture(TTexture* texture);
  TTextureState& Register(TTexture& texture);
  void StartTexture(TTexture& texture, TTextureState& state);
  // The texture drawn in the last frame that is next to take its full image: the largest
  // of those still showing their previews. Null when there is none.
  TTexture* NextToRise() const;
  // Sets its pixels on their way up: band by band as they are decoded when they come so,
  // else whole once decoded. False when there is nothing to set.
  bool StartRising();
  // Makes the rising object's storage; when the device refuses it, the preview stays.
  bool AllocateRising(QSize size);
  // Gives up the texture's full image: its preview stays for good.
  void KeepPreview(TTexture& texture);
  // The next band of rows into the rising object; true once they are all there.
  bool UploadNextBand();
  // Replaces the texture's preview by the rising object.
  void CompleteRising();
  // The pixels as the device can hold them: scaled down when over its limit.
  QImage FitForDevice(QImage pixels) const;
  // Makes handle (when 0) and gives it the whole image; false on a GL error.
  bool UploadWhole(unsigned& handle, const QImage& pixels);
  // Makes handle an object of the image's size with no pixels yet; false on a GL error.
  bool Allocate(unsigned& handle, QSize size);
  // Rows [first, first + count) of pixels into the same rows of the object, from row `at`
  // on when given.
  void UploadRows(unsigned handle, const QImage& pixels, int first, int count, int at = -1);
  // Forgets the texture going up, when it is texture (any for null).
  void DropRising(const TTexture* texture);
  TBufferEntry& DeviceBuffer(const void* key, const void* data, int size, std::uint64_t generation,
                             unsigned target);
  void DropUnusedBuffers();
  // Drops the linked programs made with shader (all of them for null).
  void DropPrograms(const TShaderProgram* shader);
  void ForgetHandles();
  void FlushDeletions();

  TGLFunctions* FGL = nullptr;
  QString FDeviceError;
  void (*FClipControl)(unsigned origin, unsigned depth) = nullptr;
  bool FUseClipControl = true;
  int FMaxTextureSize = 0;
  int FTextureSizeLimit = 0;
  qsizetype FBandBytes = kBandBytes;
  TGLRenderTarget* FTarget = nullptr;
  std::unique_ptr<TColorMaterial> FDefaultMaterial;

  unsigned FVertexArray = 0;
  unsigned FSampler = 0;
  unsigned FWhiteTexture = 0;
  int FSamplerUnits = 0;

  std::vector<TShaderProgram*> FShaders;
  std::unordered_map<TTexture*, TTextureState> FTextures;
  TRising FRising;
  std::vector<std::unique_ptr<TLinkedProgram>> FPrograms;
  TLinkedProgram* FCurrentProgram = nullptr;
  // Set when SetShaders could not make its pair current: draws are skipped until the next
  // pair, rather than run with the previous programs and the wrong variables.
  bool FProgramFailed = false;
  std::unordered_map<const void*, TBufferEntry> FBuffers;
  std::uint64_t FFrame = 0;
  std::uint64_t FBufferUploads = 0;
  // GL objects of textures and shaders destroyed while no GL context was current.
  std::vector<unsigned> FDeadTextures;
  std::vector<unsigned> FDeadShaders;
  std::vector<unsigned> FDeadPrograms;
};

}  // namespace rt3d

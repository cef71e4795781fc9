#pragma once
// The device's textures and how their full images reach it.
//
// Textures are 8-bit BGRA, one level, sampled bilinear and clamped to the edge. An image
// larger than the device allows is scaled down to fit; one that cannot be made is sampled
// as a 1x1 opaque white texture instead.
//
// A texture whose pixels are still being decoded shows its preview meanwhile. One texture
// at a time, the largest first, takes its full image: band by band between frames
// (UploadBand), as the bands are decoded when the image comes so, else from its whole
// decoded pixels, into an object of its own that replaces the preview once complete. A
// large image never stalls a frame, and little more than one image is held decoded beside
// the device's copies.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include <QImage>

#include "runtime3d/material/Texture.h"
#include "runtime3d/render/GLDevice.h"

namespace rt3d {

// What the device holds of a texture (for tests and measurements).
struct TTextureOnDevice {
  // The texture object (0 = none yet).
  unsigned Handle = 0;
  // It could not be made: the device samples its 1x1 opaque white placeholder instead.
  bool Failed = false;
  // It holds the preview for now, not the full pixels.
  bool Preview = false;
  // The texture's generation whose pixels it holds.
  std::uint64_t Generation = 0;
};

class TGLTextureStreamer : private IResourceHolder {
 public:
  ~TGLTextureStreamer();

  // Makes the shared sampler and the white placeholder; gl stays valid until Release().
  void Start(TGLFunctions& gl);
  // Frees every texture object (GL context current) and forgets the textures.
  void Release();
  // Forgets every texture without freeing its object: the GL context went with them.
  void ForgetAll();
  // Frees the objects of textures destroyed while no GL context was current.
  void FlushDeletions();

  // The largest side of a texture the device makes: the driver's limit, or a lower one
  // set by SetSizeLimit (older hardware, tests); 0 lifts it.
  int MaxSize() const;
  void SetSizeLimit(int limit) { FSizeLimit = limit; }
  // The most a band holds: on a software rasterizer 8 MB go up in about 1.5 ms, the largest
  // image in nine bands.
  static constexpr qsizetype kBandBytes = 8 << 20;
  void SetBandBytes(qsizetype value) { FBandBytes = std::max<qsizetype>(value, 1); }

  // A new frame: what it draws counts as drawn in the last frame from then on.
  void NewFrame() { ++FFrame; }
  // Binds the texture's object (the placeholder for none) with the sampler on unit.
  void Bind(TTexture* texture, int unit);
  // Texture units a program may sample.
  int Units() const { return FUnits; }
  // Unbinds the sampler from every unit.
  void UnbindSamplers();

  // What the device holds of texture; all empty when it holds nothing.
  TTextureOnDevice OnDevice(const TTexture& texture) const;

  // Some texture drawn in the last frame still shows its preview. Needs no GL.
  bool InProgress() const;
  // Whether UploadBand has a band to upload now. Needs no GL.
  bool BandReady() const;
  // Takes the hand-over one band of rows further; true when a texture has just taken its
  // full pixels in place of its preview. Needs the GL context current, outside a frame.
  bool UploadBand();

 private:
  // What the device keeps of a texture it has made.
  struct TRecord : TTextureOnDevice {
    TTexture* Texture = nullptr;
    std::uint64_t LastUsedFrame = 0;
    // The full pixels could not be had or made: the preview stays.
    bool KeepsPreview = false;
  };
  // The full pixels of a texture that shows its preview, on their way up into Handle: its
  // bands as they are decoded, or its whole pixels. The rows above NextRow are there.
  struct TRising {
    TRecord* Record = nullptr;
    std::unique_ptr<IPixelBands> Bands;
    QImage Pixels;
    unsigned Handle = 0;
    int NextRow = 0;
  };

  void ResourceGone(TDeviceResource& resource) override;
  unsigned DeviceTexture(TTexture* texture);
  TRecord& Register(TTexture& texture);
  void StartTexture(TRecord& record);
  // The record of the texture drawn in the last frame that is next to take its full image:
  // the largest of those still showing their previews. Null when there is none.
  const TRecord* NextToRise() const;
  // Sets its pixels on their way up: band by band as they are decoded when they come so,
  // else whole once decoded. False when there is nothing to set.
  bool StartRising();
  // Makes the rising object's storage; when the device refuses it, the preview stays.
  bool AllocateRising(QSize size);
  // Gives up the rising texture's full image: its preview stays for good.
  void KeepPreview();
  // The next band of rows into the rising object; true once they are all there.
  bool UploadNextBand();
  // Replaces the texture's preview by the rising object.
  void CompleteRising();
  // Forgets the texture going up, when it is record's (any for null).
  void DropRising(const TRecord* record);
  // The pixels as the device can hold them: scaled down when over its limit.
  QImage FitForDevice(QImage pixels) const;
  // Makes handle (when 0) and gives it the whole image; false on a GL error.
  bool UploadWhole(unsigned& handle, const QImage& pixels);
  // Makes handle an object of the image's size with no pixels yet; false on a GL error.
  bool Allocate(unsigned& handle, QSize size);
  // Rows [first, first + count) of pixels into the same rows of the object, from row `at`
  // on when given.
  void UploadRows(unsigned handle, const QImage& pixels, int first, int count, int at = -1);

  TGLFunctions* FGL = nullptr;
  int FMaxSize = 0;
  int FSizeLimit = 0;
  int FUnits = 0;
  qsizetype FBandBytes = kBandBytes;
  unsigned FSampler = 0;
  unsigned FWhiteTexture = 0;
  std::unordered_map<const TDeviceResource*, TRecord> FTextures;
  TRising FRising;
  std::uint64_t FFrame = 0;
  std::vector<unsigned> FDeadTextures;
};

}  // namespace rt3d

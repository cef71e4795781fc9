#pragma once
// A 2D texture: its size and format and its decoded pixels until the device has uploaded
// them. What a device makes of it, the device keeps (see DeviceResource.h).
//
// Pixels are a QImage in QImage::Format_ARGB32_Premultiplied: on a little-endian machine
// the bytes of a pixel are B, G, R, A, colour multiplied by alpha, top row first. The
// device uploads them once and calls ReleasePixels(), so no decoded copy stays in memory;
// when it needs them again (a recreated context) Pixels() brings them back through the
// reloader. A texture without a reloader keeps its pixels: nothing can be lost that way.
//
// Content still being decoded may come with a preview, a small version of the same image:
// the device shows it at once and replaces it with the full pixels once they are ready.
//
// Thread use: textures live on the UI thread. The pixel operations take the texture's own
// lock so that an image decoded on a worker can be handed over at any time.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include <QImage>

#include "runtime3d/core/DeviceResource.h"

namespace rt3d {

enum class TPixelFormat : std::uint8_t { None, BGRA };

enum TTextureStyleFlag : std::uint8_t {
  tsMipMaps = 1 << 0,
  tsDynamic = 1 << 1,
  tsRenderTarget = 1 << 2,
  tsVolatile = 1 << 3,
};
using TTextureStyle = std::uint8_t;

enum class TTextureFilter : std::uint8_t { Nearest, Linear };

// The rows of an image arriving band by band, top to bottom, each band to be dropped once
// used, so that the whole image is never held at once. A band is a premultiplied ARGB32
// image as wide as the whole. Used on one thread.
class IPixelBands {
 public:
  virtual ~IPixelBands() = default;
  // Whether the next band can be taken without waiting.
  virtual bool NextReady() const = 0;
  // The next band; a null image when none is ready or every band was taken.
  virtual QImage TakeNext() = 0;
  // Every band was taken. Intact() then tells whether each was decoded whole and right.
  virtual bool AtEnd() const = 0;
  virtual bool Intact() const = 0;
};

// How the pixels of content still being decoded elsewhere arrive.
struct TPendingPixels {
  // Gives the pixels, waiting for them if need be; afterwards brings them back, like a
  // reloader, whenever the device needs them anew.
  std::function<QImage()> Source = {};
  // Whether Source would give them without waiting; none: never.
  std::function<bool()> Ready = {};
  // Starts decoding the pixels band by band; none, or a null result: they cannot come so.
  std::function<std::unique_ptr<IPixelBands>()> Bands = {};
  // A small version of the image to show until they are there; none: nothing shows.
  std::function<QImage()> Preview = {};
};

class TTexture : public TDeviceResource {
 public:
  TTexture();
  ~TTexture() override;
  TTexture(const TTexture&) = delete;
  TTexture& operator=(const TTexture&) = delete;

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool IsEmpty() const { return FWidth == 0 || FHeight == 0; }
  // Changes the size without pixels (a render target); drops any pixels held.
  void SetSize(int width, int height);

  TPixelFormat PixelFormat() const { return FPixelFormat; }
  void SetPixelFormat(TPixelFormat value) { FPixelFormat = value; }
  TTextureStyle Style() const { return FStyle; }
  void SetStyle(TTextureStyle value) { FStyle = value; }
  bool IsRenderTarget() const { return (FStyle & tsRenderTarget) != 0; }
  TTextureFilter MinFilter() const { return FMinFilter; }
  void SetMinFilter(TTextureFilter value) { FMinFilter = value; }
  TTextureFilter MagFilter() const { return FMagFilter; }
  void SetMagFilter(TTextureFilter value) { FMagFilter = value; }
  float TextureScale() const { return FTextureScale; }
  void SetTextureScale(float value) { FTextureScale = value; }

  // Replaces the content: converts to premultiplied ARGB32 when needed, takes the image's
  // size, sets PixelFormat BGRA and advances the generation. The texture counts as opaque
  // when the image's format has no alpha or opaque says so.
  void SetPixels(QImage image, bool opaque = false);
  // Content whose pixels arrive later (an image still being decoded): the size is known
  // now, the pixels come as pending says. Sets PixelFormat BGRA and advances the generation.
  void SetPendingPixels(int width, int height, bool opaque, TPendingPixels pending);
  // Every pixel has alpha 255 (as far as its source tells; false when unknown).
  bool IsOpaque() const { return FOpaque; }
  // The pixels; after ReleasePixels() they come from the reloader (and are kept until the
  // next release). A null image when there is nothing to give.
  QImage Pixels();
  bool HasPixels() const;
  // Whether Pixels() would give the full pixels without waiting for them to be decoded.
  bool PixelsReady() const;
  // Whether the pending pixels can come band by band.
  bool HasBands() const;
  // Starts them coming band by band; null when they cannot.
  std::unique_ptr<IPixelBands> OpenBands();
  // Whether there is a preview to take.
  bool HasPreview() const;
  // The preview (premultiplied ARGB32), once: the texture keeps no copy. Null when there is
  // none or it cannot be decoded.
  QImage TakePreview();
  // Drops the decoded pixels when the reloader can bring them back; otherwise keeps them.
  void ReleasePixels();
  // How to decode the pixels again, e.g. from the embedded PNG bytes. It must give the same
  // image that SetPixels received.
  void SetReloader(std::function<QImage()> reloader);

  // Changes whenever the content is replaced, so the device knows to upload again.
  std::uint64_t Generation() const { return FGeneration; }

 private:
  mutable std::mutex FLock;
  int FWidth = 0;
  int FHeight = 0;
  TPixelFormat FPixelFormat = TPixelFormat::None;
  TTextureStyle FStyle = tsMipMaps | tsDynamic;
  TTextureFilter FMinFilter = TTextureFilter::Linear;
  TTextureFilter FMagFilter = TTextureFilter::Linear;
  float FTextureScale = 1;
  bool FOpaque = false;
  QImage FPixels;
  std::function<QImage()> FReloader;
  std::function<bool()> FReady;
  std::function<std::unique_ptr<IPixelBands>()> FBands;
  std::function<QImage()> FPreview;
  std::uint64_t FGeneration = 0;
};

}  // namespace rt3d

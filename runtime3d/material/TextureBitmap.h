#pragma once
// A material source's texture image. It makes its TTexture once, from the first image it
// holds, and keeps it; loading another image replaces the texture's pixels.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include <QImage>
#include <QSize>

#include "runtime3d/material/Texture.h"

namespace rt3d {

class TTextureBitmap {
 public:
  TTextureBitmap();
  ~TTextureBitmap();
  TTextureBitmap(const TTextureBitmap&) = delete;
  TTextureBitmap& operator=(const TTextureBitmap&) = delete;

  bool IsEmpty() const { return FWidth == 0 || FHeight == 0; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  float BitmapScale() const { return FBitmapScale; }

  // Decodes embedded image bytes now, on this thread. The bytes must stay valid as long as
  // the bitmap: the texture decodes them again if the device needs the pixels once more.
  // Raises EBitmapLoadingFailed when no decoder accepts them; the bitmap is then unchanged.
  void LoadFromEmbedded(std::span<const std::uint8_t> bytes);
  // Takes an image decoded elsewhere (see DecodeBatch) from the same embedded bytes.
  void AssignDecoded(QImage decoded, std::span<const std::uint8_t> bytes);
  // An image still being decoded elsewhere from the same embedded bytes, of the given size:
  // pending.Source takes it when the texture is first drawn (waiting for it if need be),
  // once; should the device need the pixels again, the bytes are decoded anew. The rest of
  // pending is as TTexture::SetPendingPixels takes it.
  void AssignPending(QSize size, TPendingPixels pending, std::span<const std::uint8_t> bytes);
  // Takes an image that has no encoded form; the texture then keeps its pixels.
  void Assign(QImage image);
  // Empties the bitmap. The texture made before stays (materials may point to it).
  void Clear();

  // The texture made from the image; null while the bitmap has never held one.
  TTexture* Texture() const { return FTexture.get(); }

  // Runs after every change of content.
  std::function<void()> OnChange;

 private:
  void EnsureTexture();
  void TakeImage(QImage image, std::function<QImage()> reloader, bool opaque);

  int FWidth = 0;
  int FHeight = 0;
  float FBitmapScale = 1;
  std::unique_ptr<TTexture> FTexture;
};

}  // namespace rt3d

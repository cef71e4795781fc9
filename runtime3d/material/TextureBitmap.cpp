#include "runtime3d/material/TextureBitmap.h"

#include "runtime3d/material/ImageDecoding.h"
#include "runtime3d/material/Texture.h"

namespace rt3d {

TTextureBitmap::TTextureBitmap() = default;
TTextureBitmap::~TTextureBitmap() = default;

void TTextureBitmap::LoadFromEmbedded(std::span<const std::uint8_t> bytes) {
  AssignDecoded(DecodeImage(bytes), bytes);
}

void TTextureBitmap::AssignDecoded(QImage decoded, std::span<const std::uint8_t> bytes) {
  TakeImage(std::move(decoded), [bytes] { return DecodeImage(bytes); });
}

void TTextureBitmap::Assign(QImage image) {
  if (image.isNull()) {
    Clear();
    return;
  }
  TakeImage(FitIntoMaxSize(std::move(image)), nullptr);
}

void TTextureBitmap::Clear() {
  FWidth = FHeight = 0;
  if (FTexture) FTexture->SetSize(0, 0);
  if (OnChange) OnChange();
}

void TTextureBitmap::TakeImage(QImage image, std::function<QImage()> reloader) {
  if (!FTexture) {
    FTexture = std::make_unique<TTexture>();
    // Made from an image: written by the processor, sampled as it is, no mip levels.
    FTexture->SetStyle(tsDynamic);
  }
  FTexture->SetTextureScale(FBitmapScale);
  FTexture->SetPixels(std::move(image));
  FTexture->SetReloader(std::move(reloader));
  FWidth = FTexture->Width();
  FHeight = FTexture->Height();
  if (OnChange) OnChange();
}

}  // namespace rt3d

#include "runtime3d/material/TextureBitmap.h"

#include <memory>
#include <utility>

#include "runtime3d/material/ImageDecoding.h"
#include "runtime3d/material/ImageOpacity.h"
#include "runtime3d/material/Texture.h"

namespace rt3d {

TTextureBitmap::TTextureBitmap() = default;
TTextureBitmap::~TTextureBitmap() = default;

void TTextureBitmap::LoadFromEmbedded(std::span<const std::uint8_t> bytes) {
  AssignDecoded(DecodeImage(bytes), bytes);
}

void TTextureBitmap::AssignDecoded(QImage decoded, std::span<const std::uint8_t> bytes) {
  TakeImage(
      std::move(decoded), [bytes] { return DecodeImage(bytes); }, StoredImageIsOpaque(bytes));
}

void TTextureBitmap::AssignPending(QSize size, TPendingPixels pending,
                                   std::span<const std::uint8_t> bytes) {
  EnsureTexture();
  // The image is taken once; afterwards only decoding the bytes again gives it, which is
  // never ready without waiting. Letting go of take and ready frees what they hold. The
  // texture calls both under its lock.
  auto ready = std::make_shared<std::function<bool()>>(std::move(pending.Ready));
  pending.Ready = [ready] { return *ready && (*ready)(); };
  pending.Source = [take = std::move(pending.Source), bytes, ready]() mutable {
    if (!take) return DecodeImage(bytes);
    *ready = nullptr;
    return std::exchange(take, nullptr)();
  };
  FTexture->SetPendingPixels(size.width(), size.height(), StoredImageIsOpaque(bytes),
                             std::move(pending));
  FWidth = FTexture->Width();
  FHeight = FTexture->Height();
  if (OnChange) OnChange();
}

void TTextureBitmap::Assign(QImage image) {
  if (image.isNull()) {
    Clear();
    return;
  }
  TakeImage(FitIntoMaxSize(std::move(image)), nullptr, false);
}

void TTextureBitmap::Clear() {
  FWidth = FHeight = 0;
  if (FTexture) FTexture->SetSize(0, 0);
  if (OnChange) OnChange();
}

void TTextureBitmap::EnsureTexture() {
  if (!FTexture) {
    FTexture = std::make_unique<TTexture>();
    // Made from an image: written by the processor, sampled as it is, no mip levels.
    FTexture->SetStyle(tsDynamic);
  }
  FTexture->SetTextureScale(FBitmapScale);
}

void TTextureBitmap::TakeImage(QImage image, std::function<QImage()> reloader, bool opaque) {
  EnsureTexture();
  FTexture->SetPixels(std::move(image), opaque);
  FTexture->SetReloader(std::move(reloader));
  FWidth = FTexture->Width();
  FHeight = FTexture->Height();
  if (OnChange) OnChange();
}

}  // namespace rt3d

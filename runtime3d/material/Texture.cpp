#include "runtime3d/material/Texture.h"

#include <exception>

namespace rt3d {

TTexture::TTexture() = default;

TTexture::~TTexture() {
  if (DeviceHandle != 0 && OnDestroy) OnDestroy(*this);
}

void TTexture::SetSize(int width, int height) {
  std::lock_guard lock(FLock);
  FOpaque = false;
  FWidth = width > 0 ? width : 0;
  FHeight = height > 0 ? height : 0;
  FPixels = QImage();
  FReloader = nullptr;
  ++FGeneration;
}

void TTexture::SetPixels(QImage image, bool opaque) {
  opaque = opaque || (!image.isNull() && !image.hasAlphaChannel());
  if (!image.isNull() && image.format() != QImage::Format_ARGB32_Premultiplied) {
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
  }
  std::lock_guard lock(FLock);
  FWidth = image.width();
  FHeight = image.height();
  FPixelFormat = TPixelFormat::BGRA;
  FOpaque = opaque;
  FPixels = std::move(image);
  // A reloader belongs to the content it was given for.
  FReloader = nullptr;
  ++FGeneration;
}

void TTexture::SetPendingPixels(int width, int height, bool opaque,
                                std::function<QImage()> source) {
  std::lock_guard lock(FLock);
  FOpaque = opaque;
  FWidth = width > 0 ? width : 0;
  FHeight = height > 0 ? height : 0;
  FPixelFormat = TPixelFormat::BGRA;
  FPixels = QImage();
  FReloader = std::move(source);
  ++FGeneration;
}

QImage TTexture::Pixels() {
  std::lock_guard lock(FLock);
  if (FPixels.isNull() && FReloader && !IsEmpty()) {
    try {
      QImage image = FReloader();
      if (image.format() != QImage::Format_ARGB32_Premultiplied) {
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
      }
      // Anything else than the size the texture was made with would corrupt the upload.
      if (image.width() == FWidth && image.height() == FHeight) FPixels = std::move(image);
    } catch (const std::exception&) {
      // The caller sees no pixels and shows its placeholder instead.
    }
  }
  return FPixels;
}

bool TTexture::HasPixels() const {
  std::lock_guard lock(FLock);
  return !FPixels.isNull();
}

void TTexture::ReleasePixels() {
  std::lock_guard lock(FLock);
  if (FReloader) FPixels = QImage();
}

void TTexture::SetReloader(std::function<QImage()> reloader) {
  std::lock_guard lock(FLock);
  FReloader = std::move(reloader);
}

}  // namespace rt3d

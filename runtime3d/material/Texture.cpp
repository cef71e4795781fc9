#include "runtime3d/material/Texture.h"

#include <exception>
#include <utility>

namespace rt3d {

TTexture::TTexture() = default;
TTexture::~TTexture() = default;

void TTexture::SetSize(int width, int height) {
  std::lock_guard lock(FLock);
  FOpaque = false;
  FWidth = width > 0 ? width : 0;
  FHeight = height > 0 ? height : 0;
  FPixels = QImage();
  FReloader = nullptr;
  FReady = nullptr;
  FBands = nullptr;
  FPreview = nullptr;
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
  FReady = nullptr;
  FBands = nullptr;
  FPreview = nullptr;
  ++FGeneration;
}

void TTexture::SetPendingPixels(int width, int height, bool opaque, TPendingPixels pending) {
  std::lock_guard lock(FLock);
  FOpaque = opaque;
  FWidth = width > 0 ? width : 0;
  FHeight = height > 0 ? height : 0;
  FPixelFormat = TPixelFormat::BGRA;
  FPixels = QImage();
  FReloader = std::move(pending.Source);
  FReady = std::move(pending.Ready);
  FBands = std::move(pending.Bands);
  FPreview = std::move(pending.Preview);
  ++FGeneration;
}

namespace {

// The image a source gives, in the texture format; null when it fails.
QImage Produce(const std::function<QImage()>& source) {
  try {
    QImage image = source();
    if (!image.isNull() && image.format() != QImage::Format_ARGB32_Premultiplied) {
      image.convertTo(QImage::Format_ARGB32_Premultiplied);
    }
    return image;
  } catch (const std::exception&) {
    // The caller sees no pixels and shows its placeholder instead.
    return {};
  }
}

}  // namespace

QImage TTexture::Pixels() {
  std::lock_guard lock(FLock);
  if (FPixels.isNull() && FReloader && !IsEmpty()) {
    QImage image = Produce(FReloader);
    // Anything else than the size the texture was made with would corrupt the upload.
    if (image.width() == FWidth && image.height() == FHeight) FPixels = std::move(image);
  }
  return FPixels;
}

bool TTexture::HasPixels() const {
  std::lock_guard lock(FLock);
  return !FPixels.isNull();
}

bool TTexture::PixelsReady() const {
  std::lock_guard lock(FLock);
  if (IsEmpty()) return false;
  return !FPixels.isNull() || (FReady && FReady());
}

bool TTexture::HasBands() const {
  std::lock_guard lock(FLock);
  return FBands != nullptr;
}

std::unique_ptr<IPixelBands> TTexture::OpenBands() {
  std::lock_guard lock(FLock);
  return FBands ? FBands() : nullptr;
}

bool TTexture::HasPreview() const {
  std::lock_guard lock(FLock);
  return FPreview != nullptr;
}

QImage TTexture::TakePreview() {
  std::function<QImage()> preview;
  {
    std::lock_guard lock(FLock);
    preview = std::exchange(FPreview, nullptr);
  }
  return preview ? Produce(preview) : QImage();
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

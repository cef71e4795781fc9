#pragma once
// Decoding stored images to what textures hold: 8-bit BGRA, premultiplied alpha
// (QImage::Format_ARGB32_Premultiplied), top row first, at most kMaxBitmapSize on a side.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include <QFuture>
#include <QImage>

namespace rt3d {

// Larger images are scaled down (smoothly, keeping their aspect) to fit this square.
inline constexpr int kMaxBitmapSize = 8192;

// The size an image is brought to: a side beyond kMaxBitmapSize is scaled down to it,
// keeping the aspect.
QSize FitIntoMaxSize(QSize size);
QImage FitIntoMaxSize(QImage image);

// Decodes PNG (and any other format Qt reads). Raises EBitmapLoadingFailed when no decoder
// accepts the bytes.
QImage DecodeImage(std::span<const std::uint8_t> bytes);

// Several images decoded on worker threads, largest first, started when the batch is made.
// Take() waits for one (running it on the calling thread if no worker has started it yet)
// and raises EBitmapLoadingFailed for bytes no decoder accepts. The bytes must stay valid
// until every image has been taken or the batch is destroyed (which waits for its workers).
class TDecodeBatch {
 public:
  explicit TDecodeBatch(std::vector<std::span<const std::uint8_t>> sources);
  ~TDecodeBatch();
  TDecodeBatch(const TDecodeBatch&) = delete;
  TDecodeBatch& operator=(const TDecodeBatch&) = delete;

  std::size_t Count() const { return FJobs.size(); }
  // Each image can be taken once; afterwards the batch holds no copy of it.
  QImage Take(std::size_t index);

 private:
  struct TResult {
    QImage Image;
    bool Failed = false;
  };
  std::vector<QFuture<TResult>> FJobs;
  std::vector<bool> FTaken;
};

// All at once: the images in the order of sources.
std::vector<QImage> DecodeImagesInParallel(std::span<const std::span<const std::uint8_t>> sources);

}  // namespace rt3d

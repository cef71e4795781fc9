#pragma once
// Decoding stored images to what textures hold: 8-bit BGRA, premultiplied alpha
// (QImage::Format_ARGB32_Premultiplied), top row first, at most kMaxBitmapSize on a side.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include <QImage>

namespace rt3d {

// Larger images are scaled down (smoothly, keeping their aspect) to fit this square.
inline constexpr int kMaxBitmapSize = 8192;

// The size an image is brought to: a side beyond kMaxBitmapSize is scaled down to it,
// keeping the aspect.
QSize FitIntoMaxSize(QSize size);
QImage FitIntoMaxSize(QImage image);

// Decodes PNG (and any other format Qt reads). Raises EBitmapLoadingFailed when no decoder
// accepts the bytes. The strip PNGs texgen writes take a faster path (see StripPng.h); any
// other file, or one that path finds damaged, is read by Qt's readers.
QImage DecodeImage(std::span<const std::uint8_t> bytes);

// Qt's readers only, whatever the file: what DecodeImage falls back to, and the baseline to
// measure the fast path against.
QImage DecodeImageWithQt(std::span<const std::uint8_t> bytes);

// The size DecodeImage would give (fitted into kMaxBitmapSize), read from the file's header
// without decoding; an invalid size when the header tells none. A file may still fail to
// decode afterwards.
QSize DecodedImageSize(std::span<const std::uint8_t> bytes);

// Several images decoded on worker threads, largest first, started when the batch is made.
// A strip PNG is decoded as one job per strip into an image allocated up front, so one large
// image keeps every core busy; any other file is one job. Take() waits for an image's jobs
// (running those no worker has started yet on the calling thread) and raises
// EBitmapLoadingFailed for bytes no decoder accepts. The bytes must stay valid until every
// image has been taken or the batch is destroyed (which waits for its workers).
class TDecodeBatch {
 public:
  explicit TDecodeBatch(std::vector<std::span<const std::uint8_t>> sources);
  ~TDecodeBatch();
  TDecodeBatch(const TDecodeBatch&) = delete;
  TDecodeBatch& operator=(const TDecodeBatch&) = delete;

  std::size_t Count() const { return FImages.size(); }
  // Each image can be taken once; afterwards the batch holds no copy of it.
  QImage Take(std::size_t index);

 private:
  struct TImageJobs;
  void StartJobs(const std::vector<std::span<const std::uint8_t>>& sources,
                 const std::vector<std::size_t>& order);
  // Those not taken yet; jobs that have not started skip their work.
  void WaitForJobs();
  std::vector<std::unique_ptr<TImageJobs>> FImages;
};

// All at once: the images in the order of sources.
std::vector<QImage> DecodeImagesInParallel(std::span<const std::span<const std::uint8_t>> sources);

}  // namespace rt3d

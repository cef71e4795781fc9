#pragma once
// Decoding stored images to what textures hold: 8-bit BGRA, premultiplied alpha
// (QImage::Format_ARGB32_Premultiplied), top row first, at most kMaxBitmapSize on a side.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include <QFuture>
#include <QImage>

#include "runtime3d/material/StripPng.h"
#include "runtime3d/material/Texture.h"

class QThreadPool;

namespace rt3d {

// Larger images are scaled down (smoothly, keeping their aspect) to fit this square.
inline constexpr int kMaxBitmapSize = 8192;

// The size an image is brought to so that no side exceeds limit: a longer side is scaled
// down to it, keeping the aspect (rounded, never below one pixel).
QSize FitIntoSize(QSize size, int limit);
// The image scaled down smoothly to FitIntoSize (as it is when it fits), in the texture format.
QImage ScaledToFit(QImage image, int limit);
inline QSize FitIntoMaxSize(QSize size) {
  return FitIntoSize(size, kMaxBitmapSize);
}
inline QImage FitIntoMaxSize(QImage image) {
  return ScaledToFit(std::move(image), kMaxBitmapSize);
}

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
// A strip PNG is decoded as one job per strip into an image allocated
// up front, so one large image keeps every core busy; any other file is one job. Take() waits
// for an image's jobs (running those no worker has started yet on the calling thread) and
// raises EBitmapLoadingFailed for bytes no decoder accepts. The bytes must stay valid until
// every image has been taken or the batch is destroyed (which waits for its workers).
//
// The workers are the batch's own: Qt's shared pool stays free for the jobs Qt hands it
// itself (converting and scaling images), which would otherwise wait behind the decoding.
class TDecodeBatch {
 public:
  explicit TDecodeBatch(std::vector<std::span<const std::uint8_t>> sources);
  ~TDecodeBatch();
  TDecodeBatch(const TDecodeBatch&) = delete;
  TDecodeBatch& operator=(const TDecodeBatch&) = delete;

  std::size_t Count() const { return FImages.size(); }
  // Whether Take(index) would give its result without waiting for decoding: the image's
  // jobs have ended (well or not). Never for an image already taken. Any thread.
  bool IsReady(std::size_t index) const;
  // Each image can be taken once; afterwards the batch holds no copy of it.
  QImage Take(std::size_t index);

 private:
  struct TImageJobs;
  void StartJobs(const std::vector<std::size_t>& order);
  // Those not taken yet; jobs that have not started skip their work.
  void WaitForJobs();
  std::vector<std::unique_ptr<TImageJobs>> FImages;
  // Declared after the images, so it goes first: its destructor waits for the jobs that
  // point into them.
  std::unique_ptr<QThreadPool> FWorkers;
};

// A strip PNG decoded strip by strip on worker threads of its own, each strip one band; at
// most `ahead` strips are decoded and not yet taken, so the whole image is never held at once.
// The bytes must stay valid as long as the bands.
class TStripBands : public IPixelBands {
 public:
  // Null when the bytes are not a strip PNG (see StripPng.h). Decoding starts at once.
  static std::unique_ptr<TStripBands> Open(std::span<const std::uint8_t> bytes, int ahead = 16);
  ~TStripBands() override;
  TStripBands(const TStripBands&) = delete;
  TStripBands& operator=(const TStripBands&) = delete;

  QSize Size() const { return {FLayout.Width, FLayout.Height}; }
  // Strips being decoded or decoded and not taken yet: never more than `ahead`.
  std::size_t Pending() const { return FJobs.size() - FTaken; }
  bool NextReady() const override;
  QImage TakeNext() override;
  bool AtEnd() const override;
  bool Intact() const override;

 private:
  TStripBands(TStripPng layout, int ahead);
  // Starts the next strip no job has been started for.
  void StartNext();

  TStripPng FLayout;
  std::vector<QImage> FBands;
  // Each strip's Adler-32, or no value when it was damaged.
  std::vector<QFuture<std::optional<std::uint32_t>>> FJobs;
  std::vector<std::uint32_t> FAdlers;
  std::size_t FTaken = 0;
  bool FDamaged = false;
  std::shared_ptr<std::atomic<bool>> FAbandoned = std::make_shared<std::atomic<bool>>(false);
  // Declared last, so it goes first: its destructor waits for the jobs that write the bands.
  std::unique_ptr<QThreadPool> FWorkers;
};

// All at once: the images in the order of sources.
std::vector<QImage> DecodeImagesInParallel(std::span<const std::span<const std::uint8_t>> sources);

}  // namespace rt3d

#include "runtime3d/material/ImageDecoding.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <numeric>
#include <optional>

#include <QBuffer>
#include <QByteArray>
#include <QFuture>
#include <QImageReader>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include "runtime3d/core/Exceptions.h"

namespace rt3d {

namespace {

// Qt refuses images above a process-wide allocation cap (128 MB by default, less than one
// 8192 x 8192 picture). Up to 16384 x 16384 (1 GB) is allowed here, so that an oversized
// image can still be read and scaled down; anything larger is refused as undecodable.
constexpr int kAllocationLimitMB = 1024;

void RaiseAllocationLimit() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (QImageReader::allocationLimit() < kAllocationLimitMB) {
      QImageReader::setAllocationLimit(kAllocationLimitMB);
    }
  });
}

// Runs read with one of Qt's readers over the bytes (not copied); `none` when they cannot
// be opened.
template <typename T, typename F>
T WithReader(std::span<const std::uint8_t> bytes, T none, F&& read) {
  QByteArray data =
      QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
  QBuffer buffer(&data);
  if (!buffer.open(QIODevice::ReadOnly)) return none;
  QImageReader reader(&buffer);
  reader.setAutoTransform(false);
  return read(reader);
}

// Reads with Qt's decoders straight into the texture format; an image beyond the size
// limit is asked for at its fitted size.
QImage Decode(std::span<const std::uint8_t> bytes) {
  RaiseAllocationLimit();
  return WithReader(bytes, QImage(), [](QImageReader& reader) {
    const QSize size = reader.size();
    const QSize fitted = FitIntoMaxSize(size);
    if (size.isValid() && fitted != size) reader.setScaledSize(fitted);
    QImage image = reader.read();
    if (image.isNull()) return QImage();
    // Detaches from the caller's bytes too.
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    return image;
  });
}

}  // namespace

QSize FitIntoSize(QSize size, int limit) {
  const int longest = std::max(size.width(), size.height());
  if (longest <= limit || limit < 1) return size;
  // Rounded, not truncated, so that 16400 x 8 becomes 8192 x 4; never below one pixel.
  auto side = [&](int length) {
    return std::max(1, int(std::lround(double(length) * limit / longest)));
  };
  return {side(size.width()), side(size.height())};
}

QImage ScaledToFit(QImage image, int limit) {
  const QSize fitted = FitIntoSize(image.size(), limit);
  if (fitted == image.size()) return image;
  QImage scaled = image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  if (scaled.format() != QImage::Format_ARGB32_Premultiplied) {
    scaled.convertTo(QImage::Format_ARGB32_Premultiplied);
  }
  return scaled;
}

QImage DecodeImageWithQt(std::span<const std::uint8_t> bytes) {
  QImage image = Decode(bytes);
  if (image.isNull()) throw EBitmapLoadingFailed();
  // A reader that cannot scale while reading gave the full size.
  return FitIntoMaxSize(std::move(image));
}

QImage DecodeImage(std::span<const std::uint8_t> bytes) {
  QImage image = DecodeStripPng(bytes);
  if (!image.isNull()) return image;
  return DecodeImageWithQt(bytes);
}

QSize DecodedImageSize(std::span<const std::uint8_t> bytes) {
  if (const std::optional<TStripPng> png = ParseStripPng(bytes)) return {png->Width, png->Height};
  return WithReader(bytes, QSize(), [](QImageReader& reader) {
    const QSize size = reader.size();
    return size.isValid() && !size.isEmpty() ? FitIntoMaxSize(size) : QSize();
  });
}

// One image of a batch: either a strip PNG, decoded strip by strip straight into Pixels, or any
// other file, decoded whole by Qt.
struct TDecodeBatch::TImageJobs {
  std::span<const std::uint8_t> Bytes;
  std::optional<TStripPng> Layout;
  QImage Pixels;
  // Each strip's Adler-32, or no value when it was damaged.
  std::vector<QFuture<std::optional<std::uint32_t>>> Strips;
  // Null when Qt's readers failed.
  QFuture<QImage> Whole;
  // Set when the batch goes away with the image not taken: jobs not yet started skip the work.
  std::atomic<bool> Abandoned = false;
  bool Taken = false;
};

TDecodeBatch::TDecodeBatch(std::vector<std::span<const std::uint8_t>> sources)
    : FWorkers(std::make_unique<QThreadPool>()) {
  // The longest jobs go first so the slowest one does not start last; a strip PNG's strips go
  // in order, so the first ones are done when Take() starts waiting.
  std::vector<std::size_t> order(sources.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return sources[a].size() > sources[b].size();
  });
  FImages.resize(sources.size());
  for (std::size_t index = 0; index < sources.size(); ++index) {
    FImages[index] = std::make_unique<TImageJobs>();
    FImages[index]->Bytes = sources[index];
  }
  try {
    StartJobs(order);
  } catch (...) {
    // No destructor runs for a half-made batch: its started jobs must not outlive it.
    WaitForJobs();
    throw;
  }
}

void TDecodeBatch::StartJobs(const std::vector<std::size_t>& order) {
  for (std::size_t index : order) {
    TImageJobs& image = *FImages[index];
    image.Layout = ParseStripPng(image.Bytes);
    if (image.Layout) {
      image.Pixels =
          QImage(image.Layout->Width, image.Layout->Height, QImage::Format_ARGB32_Premultiplied);
    }
    if (image.Pixels.isNull()) {
      image.Layout.reset();
      image.Whole = QtConcurrent::run(FWorkers.get(), [&image]() -> QImage {
        if (image.Abandoned.load(std::memory_order_relaxed)) return {};
        try {
          return DecodeImageWithQt(image.Bytes);
        } catch (...) {
          return {};
        }
      });
      continue;
    }
    // The workers write to disjoint rows through this pointer; asking the image for it from
    // several threads would race on its detach bookkeeping.
    std::uint8_t* pixels = image.Pixels.bits();
    const std::size_t bytesPerLine = std::size_t(image.Pixels.bytesPerLine());
    image.Strips.reserve(image.Layout->Strips.size());
    for (std::size_t strip = 0; strip < image.Layout->Strips.size(); ++strip) {
      image.Strips.push_back(QtConcurrent::run(
          FWorkers.get(), [&image, strip, pixels, bytesPerLine]() -> std::optional<std::uint32_t> {
            if (image.Abandoned.load(std::memory_order_relaxed)) return std::nullopt;
            try {
              return DecodeStrip(*image.Layout, strip, pixels, bytesPerLine);
            } catch (...) {
              return std::nullopt;
            }
          }));
    }
  }
}

TDecodeBatch::~TDecodeBatch() {
  WaitForJobs();
}

void TDecodeBatch::WaitForJobs() {
  for (const auto& image : FImages) {
    if (image) image->Abandoned = true;
  }
  // A taken image's jobs are finished, and a taken future no longer valid: waiting on it would
  // block.
  for (const auto& image : FImages) {
    if (!image || image->Taken) continue;
    for (auto& strip : image->Strips) strip.waitForFinished();
    if (!image->Layout) image->Whole.waitForFinished();
  }
}

bool TDecodeBatch::IsReady(std::size_t index) const {
  if (index >= FImages.size()) return false;
  const TImageJobs& image = *FImages[index];
  if (image.Taken) return false;
  if (!image.Layout) return image.Whole.isFinished();
  return std::all_of(image.Strips.begin(), image.Strips.end(),
                     [](const auto& strip) { return strip.isFinished(); });
}

QImage TDecodeBatch::Take(std::size_t index) {
  if (index >= FImages.size()) throw EArgumentOutOfRangeException();
  TImageJobs& image = *FImages[index];
  if (image.Taken) throw EInvalidArgument("The image was taken already.");
  image.Taken = true;
  if (!image.Layout) {
    image.Whole.waitForFinished();
    QImage result = image.Whole.takeResult();
    if (result.isNull()) throw EBitmapLoadingFailed();
    return result;
  }
  // Every strip must be finished before the pixels are handed out or dropped, even after a
  // failure. Waiting runs a strip no worker has started yet on this thread.
  std::vector<std::uint32_t> adlers;
  adlers.reserve(image.Strips.size());
  bool intact = true;
  for (auto& strip : image.Strips) {
    strip.waitForFinished();
    const std::optional<std::uint32_t> adler = strip.result();
    intact = intact && adler.has_value();
    if (adler) adlers.push_back(*adler);
  }
  image.Strips.clear();
  QImage result = std::move(image.Pixels);
  if (intact && StripChecksumsMatch(*image.Layout, adlers)) return result;
  // Damaged on the way: free these pixels before Qt's reader allocates its own.
  result = QImage();
  return DecodeImageWithQt(image.Bytes);
}

std::unique_ptr<TStripBands> TStripBands::Open(std::span<const std::uint8_t> bytes, int ahead) {
  std::optional<TStripPng> layout = ParseStripPng(bytes);
  if (!layout) return nullptr;
  return std::unique_ptr<TStripBands>(new TStripBands(std::move(*layout), std::max(ahead, 1)));
}

TStripBands::TStripBands(TStripPng layout, int ahead)
    : FLayout(std::move(layout)), FWorkers(std::make_unique<QThreadPool>()) {
  FBands.resize(FLayout.Strips.size());
  FJobs.reserve(FLayout.Strips.size());
  FAdlers.reserve(FLayout.Strips.size());
  while (FJobs.size() < std::min<std::size_t>(std::size_t(ahead), FBands.size())) StartNext();
}

TStripBands::~TStripBands() {
  *FAbandoned = true;
}

void TStripBands::StartNext() {
  const std::size_t strip = FJobs.size();
  if (strip >= FBands.size()) return;
  QImage& band = FBands[strip];
  band = QImage(FLayout.Width, FLayout.StripRows(strip), QImage::Format_ARGB32_Premultiplied);
  // Asked for here, on the thread that owns the band, not by the worker that fills it.
  std::uint8_t* rows = band.isNull() ? nullptr : band.bits();
  const std::size_t bytesPerLine = std::size_t(band.bytesPerLine());
  FJobs.push_back(QtConcurrent::run(FWorkers.get(),
                                    [layout = &FLayout, abandoned = FAbandoned, strip, rows,
                                     bytesPerLine]() -> std::optional<std::uint32_t> {
                                      if (!rows || *abandoned) return std::nullopt;
                                      try {
                                        return DecodeStripRows(*layout, strip, rows, bytesPerLine);
                                      } catch (...) {
                                        return std::nullopt;
                                      }
                                    }));
}

bool TStripBands::NextReady() const {
  return FTaken < FJobs.size() && FJobs[FTaken].isFinished();
}

QImage TStripBands::TakeNext() {
  if (!NextReady()) return {};
  const std::optional<std::uint32_t> adler = FJobs[FTaken].result();
  FDamaged = FDamaged || !adler;
  if (adler) FAdlers.push_back(*adler);
  QImage band = std::move(FBands[FTaken]);
  ++FTaken;
  StartNext();
  return band;
}

bool TStripBands::AtEnd() const {
  return FTaken == FBands.size();
}

bool TStripBands::Intact() const {
  return AtEnd() && !FDamaged && StripChecksumsMatch(FLayout, FAdlers);
}

std::vector<QImage> DecodeImagesInParallel(std::span<const std::span<const std::uint8_t>> sources) {
  TDecodeBatch batch({sources.begin(), sources.end()});
  std::vector<QImage> images;
  images.reserve(sources.size());
  for (std::size_t i = 0; i < sources.size(); ++i) images.push_back(batch.Take(i));
  return images;
}

}  // namespace rt3d

#include "runtime3d/material/ImageDecoding.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numeric>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
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

// Reads with Qt's decoders straight into the texture format; an image beyond the size
// limit is asked for at its fitted size.
QImage Decode(std::span<const std::uint8_t> bytes) {
  RaiseAllocationLimit();
  QByteArray data =
      QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
  QBuffer buffer(&data);
  if (!buffer.open(QIODevice::ReadOnly)) return {};
  QImageReader reader(&buffer);
  reader.setAutoTransform(false);
  const QSize size = reader.size();
  const QSize fitted = FitIntoMaxSize(size);
  if (size.isValid() && fitted != size) reader.setScaledSize(fitted);
  QImage image = reader.read();
  if (image.isNull()) return {};
  // Detaches from the caller's bytes too.
  image.convertTo(QImage::Format_ARGB32_Premultiplied);
  return image;
}

}  // namespace

QSize FitIntoMaxSize(QSize size) {
  const int longest = std::max(size.width(), size.height());
  if (longest <= kMaxBitmapSize) return size;
  // Rounded, not truncated, so that 16400 x 8 becomes 8192 x 4; never below one pixel.
  auto side = [&](int length) {
    return std::max(1, int(std::lround(double(length) * kMaxBitmapSize / longest)));
  };
  return {side(size.width()), side(size.height())};
}

QImage FitIntoMaxSize(QImage image) {
  const QSize fitted = FitIntoMaxSize(image.size());
  if (fitted == image.size()) return image;
  QImage scaled = image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  if (scaled.format() != QImage::Format_ARGB32_Premultiplied) {
    scaled.convertTo(QImage::Format_ARGB32_Premultiplied);
  }
  return scaled;
}

QImage DecodeImage(std::span<const std::uint8_t> bytes) {
  QImage image = Decode(bytes);
  if (image.isNull()) throw EBitmapLoadingFailed();
  // A reader that cannot scale while reading gave the full size.
  return FitIntoMaxSize(std::move(image));
}

TDecodeBatch::TDecodeBatch(std::vector<std::span<const std::uint8_t>> sources) {
  // The longest jobs go first so the slowest one does not start last.
  std::vector<std::size_t> order(sources.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return sources[a].size() > sources[b].size();
  });
  FJobs.resize(sources.size());
  FTaken.assign(sources.size(), false);
  for (std::size_t index : order) {
    FJobs[index] = QtConcurrent::run([bytes = sources[index]] {
      TResult result;
      try {
        result.Image = DecodeImage(bytes);
      } catch (...) {
        result.Failed = true;
      }
      return result;
    });
  }
}

TDecodeBatch::~TDecodeBatch() {
  // A taken job is finished, and its future no longer valid: waiting on it would block.
  for (std::size_t i = 0; i < FJobs.size(); ++i) {
    if (!FTaken[i]) FJobs[i].waitForFinished();
  }
}

QImage TDecodeBatch::Take(std::size_t index) {
  if (index >= FJobs.size()) throw EArgumentOutOfRangeException();
  if (FTaken[index]) throw EInvalidArgument("The image was taken already.");
  QFuture<TResult>& job = FJobs[index];
  job.waitForFinished();
  TResult result = job.takeResult();
  FTaken[index] = true;
  if (result.Failed) throw EBitmapLoadingFailed();
  return std::move(result.Image);
}

std::vector<QImage> DecodeImagesInParallel(std::span<const std::span<const std::uint8_t>> sources) {
  TDecodeBatch batch({sources.begin(), sources.end()});
  std::vector<QImage> images;
  images.reserve(sources.size());
  for (std::size_t i = 0; i < sources.size(); ++i) images.push_back(batch.Take(i));
  return images;
}

}  // namespace rt3d

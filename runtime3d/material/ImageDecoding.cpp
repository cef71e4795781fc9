#include "runtime3d/material/ImageDecoding.h"

#include <spng.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QtConcurrent/QtConcurrentRun>

#include "runtime3d/core/Exceptions.h"

namespace rt3d {

namespace {

// More than this many decoded bytes (16384 x 16384 pixels) is refused rather than risk
// exhausting memory on a hostile header.
constexpr std::size_t kMaxDecodedBytes = std::size_t(1) << 30;

// libspng's own caps on chunk memory (text, ICC profiles...), which we do not read.
constexpr std::size_t kMaxChunkBytes = std::size_t(64) << 20;

bool HasPngSignature(std::span<const std::uint8_t> bytes) {
  static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

struct TSpngDeleter {
  void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

// libspng gives R, G, B, A bytes; a texture wants the 32-bit value 0xAARRGGBB (B, G, R, A
// in memory) with premultiplied colour. Opaque pixels need only the swap.
void RgbaToPremultipliedArgb(QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = row[x];
      const QRgb argb = (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
      row[x] = qAlpha(argb) == 255 ? argb : qPremultiply(argb);
    }
  }
}

// Null when libspng does not take the bytes (the caller then tries Qt's readers).
QImage DecodePngWithSpng(std::span<const std::uint8_t> bytes) {
  std::unique_ptr<spng_ctx, TSpngDeleter> ctx(spng_ctx_new(0));
  if (!ctx) return {};
  spng_set_chunk_limits(ctx.get(), kMaxChunkBytes, kMaxChunkBytes);
  if (spng_set_png_buffer(ctx.get(), bytes.data(), bytes.size()) != 0) return {};
  spng_ihdr ihdr{};
  if (spng_get_ihdr(ctx.get(), &ihdr) != 0) return {};
  std::size_t size = 0;
  if (spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size) != 0) return {};
  if (size > kMaxDecodedBytes || ihdr.width == 0 || ihdr.height == 0) return {};

  QImage image(int(ihdr.width), int(ihdr.height), QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return {};
  const std::size_t rowBytes = std::size_t(ihdr.width) * 4;
  if (std::size_t(image.bytesPerLine()) == rowBytes) {
    if (spng_decode_image(ctx.get(), image.bits(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0) {
      return {};
    }
  } else {
    if (spng_decode_image(ctx.get(), nullptr, 0, SPNG_FMT_RGBA8,
                          SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE) != 0) {
      return {};
    }
    spng_row_info info{};
    int rc = 0;
    do {
      if (spng_get_row_info(ctx.get(), &info) != 0) return {};
      rc = spng_decode_row(ctx.get(), image.scanLine(int(info.row_num)), rowBytes);
    } while (rc == 0);
    if (rc != SPNG_EOI) return {};
  }
  RgbaToPremultipliedArgb(image);
  return image;
}

QImage DecodeWithQt(std::span<const std::uint8_t> bytes) {
  QByteArray data =
      QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
  QBuffer buffer(&data);
  if (!buffer.open(QIODevice::ReadOnly)) return {};
  QImageReader reader(&buffer);
  reader.setAutoTransform(false);
  QImage image = reader.read();
  if (image.isNull()) return {};
  // Detach from the caller's bytes and bring it to the texture format in one go.
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
  QImage image;
  if (HasPngSignature(bytes)) image = DecodePngWithSpng(bytes);
  if (image.isNull()) image = DecodeWithQt(bytes);
  if (image.isNull()) throw EBitmapLoadingFailed();
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

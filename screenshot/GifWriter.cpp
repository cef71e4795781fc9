#include "screenshot/GifWriter.h"

#include <gif_lib.h>

#include <array>
#include <climits>
#include <cstdint>
#include <new>
#include <vector>

namespace orvanth::screenshot {

namespace {

constexpr int kPaletteSize = 256;
constexpr int kGifMaxSide = 65535;

int WriteToDevice(GifFileType* gif, const GifByteType* bytes, int length) {
  auto* device = static_cast<QIODevice*>(gif->UserData);
  return device->write(reinterpret_cast<const char*>(bytes), length) == length ? length : 0;
}

struct Indexed {
  std::vector<GifByteType> Pixels;  // one palette index per pixel, row by row
  std::array<GifColorType, kPaletteSize> Palette{};
};

// giflib's median cut sees colours at five bits a channel and averages the cells of a
// box without weight; averaging the pixels that actually got each index keeps flat
// areas (a white sky, black space) at their own colour.
void AverageEntries(const std::vector<GifByteType>& red, const std::vector<GifByteType>& green,
                    const std::vector<GifByteType>& blue, Indexed& indexed) {
  std::array<std::array<std::uint64_t, 4>, kPaletteSize> sums{};
  for (std::size_t i = 0; i < indexed.Pixels.size(); ++i) {
    auto& sum = sums[indexed.Pixels[i]];
    sum[0] += red[i];
    sum[1] += green[i];
    sum[2] += blue[i];
    ++sum[3];
  }
  for (int entry = 0; entry < kPaletteSize; ++entry) {
    const auto& sum = sums[entry];
    if (sum[3] == 0) continue;
    const auto mean = [&](std::uint64_t total) {
      return GifByteType((total + sum[3] / 2) / sum[3]);
    };
    indexed.Palette[entry] = {mean(sum[0]), mean(sum[1]), mean(sum[2])};
  }
}

bool Quantize(const QImage& image, Indexed& indexed) {
  const int width = image.width();
  const int height = image.height();
  const std::size_t count = std::size_t(width) * std::size_t(height);
  std::vector<GifByteType> red(count), green(count), blue(count);
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    const std::size_t start = std::size_t(y) * std::size_t(width);
    for (int x = 0; x < width; ++x) {
      red[start + x] = GifByteType(qRed(row[x]));
      green[start + x] = GifByteType(qGreen(row[x]));
      blue[start + x] = GifByteType(qBlue(row[x]));
    }
  }
  indexed.Pixels.resize(count);
  int paletteSize = kPaletteSize;
  if (GifQuantizeBuffer(unsigned(width), unsigned(height), &paletteSize, red.data(), green.data(),
                        blue.data(), indexed.Pixels.data(), indexed.Palette.data()) != GIF_OK) {
    return false;
  }
  AverageEntries(red, green, blue, indexed);
  return true;
}

bool Encode(const Indexed& indexed, int width, int height, QIODevice& device) {
  int error = 0;
  GifFileType* gif = EGifOpen(&device, WriteToDevice, &error);
  if (gif == nullptr) return false;
  ColorMapObject* palette = GifMakeMapObject(kPaletteSize, indexed.Palette.data());
  bool written = palette != nullptr &&
                 EGifPutScreenDesc(gif, width, height, 8, 0, palette) == GIF_OK &&
                 EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
  GifFreeMapObject(palette);
  for (int y = 0; written && y < height; ++y) {
    auto* row = const_cast<GifPixelType*>(indexed.Pixels.data() + std::size_t(y) * width);
    written = EGifPutLine(gif, row, width) == GIF_OK;
  }
  // Closing writes the trailer and frees `gif` whatever happened before.
  const bool closed = EGifCloseFile(gif, &error) == GIF_OK;
  return written && closed;
}

}  // namespace

bool WriteGif(const QImage& image, QIODevice& device) {
  const int width = image.width();
  const int height = image.height();
  // giflib counts the pixels of one image in an int.
  if (image.isNull() || width > kGifMaxSide || height > kGifMaxSide ||
      std::int64_t(width) * height > INT_MAX) {
    return false;
  }
  const bool direct = image.format() == QImage::Format_ARGB32_Premultiplied ||
                      image.format() == QImage::Format_RGB32;
  const QImage pixels = direct ? image : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  if (pixels.isNull()) return false;
  try {
    Indexed indexed;
    return Quantize(pixels, indexed) && Encode(indexed, width, height, device);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace orvanth::screenshot

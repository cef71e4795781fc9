#include "runtime3d/material/StripPng.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "runtime3d/material/ImageDecoding.h"

namespace rt3d {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// A non-final, empty stored block ends every strip but the last (zlib's full flush); its last
// four bytes are the block's length and the length's complement.
constexpr std::uint8_t kFlushMarker[4] = {0x00, 0x00, 0xFF, 0xFF};
// An empty final block with fixed codes: appended to a strip so that it is a whole raw
// deflate stream, which is what libdeflate decodes.
constexpr std::uint8_t kEmptyFinalBlock[2] = {0x03, 0x00};
// The writer's strips take up to a few megabytes inflated; a file that claims much larger
// ones goes to the ordinary reader instead of making each worker allocate that much.
constexpr std::uint64_t kMaxStripBytes = 16u << 20;
constexpr std::uint32_t kAdlerBase = 65521;

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

bool IsType(std::span<const std::uint8_t> typeAndData, const char* type) {
  return std::memcmp(typeAndData.data(), type, 4) == 0;
}

std::uint32_t Crc(std::span<const std::uint8_t> bytes) {
  return libdeflate_crc32(0, bytes.data(), bytes.size());
}

std::uint64_t RowBytes(const TStripPng& png) {
  return std::uint64_t(png.Width) * std::uint64_t(png.Channels);
}

std::uint64_t StripBytes(const TStripPng& png, std::size_t strip) {
  return std::uint64_t(png.StripRows(strip)) * (RowBytes(png) + 1);
}

// The two-byte zlib header: deflate, a window of at most 32 KB, no preset dictionary.
bool ValidZlibHeader(const std::uint8_t* p) {
  return (p[0] & 0x0F) == 8 && (p[0] >> 4) <= 7 && (p[1] & 0x20) == 0 &&
         (unsigned(p[0]) * 256 + p[1]) % 31 == 0;
}

// The filter's prediction from the left (a), upper (b) and upper-left (c) byte, without
// branches: which neighbour wins is as good as random in a picture.
int Paeth(int a, int b, int c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  const int nearer = pb < pa ? b : a;
  return pc < std::min(pa, pb) ? c : nearer;
}

// The texture pixel of an unfiltered pixel: B, G, R, A in memory on little-endian, colour
// multiplied by alpha.
template <int Bpp>
QRgb ToArgb32Premultiplied(const std::uint8_t* p) {
  const QRgb opaque = 0xFF000000u | (QRgb(p[0]) << 16) | (QRgb(p[1]) << 8) | p[2];
  if constexpr (Bpp == 3) {
    return opaque;
  } else {
    // Qt's own rounding, so the result equals Qt's reader followed by its conversion.
    return p[3] == 255 ? opaque : qPremultiply(qRgba(p[0], p[1], p[2], p[3]));
  }
}

template <int Bpp>
void ToArgb32Premultiplied(const std::uint8_t* row, QRgb* out, int width) {
  for (int x = 0; x < width; ++x) out[x] = ToArgb32Premultiplied<Bpp>(row + x * Bpp);
}

// Sub, Average and Paeth predict from the byte to the left: they run pixel by pixel with the
// left and upper-left pixel in registers (through memory every byte would wait for the store of
// the one before) and write the texture pixel at once. The row is unfiltered in place, as the
// next row's filter needs it.
template <int Bpp, bool UsesAbove, typename Predict>
void UnfilterFromLeft(std::uint8_t* row, const std::uint8_t* above, QRgb* out, int width,
                      Predict predict) {
  int left[Bpp] = {}, upLeft[Bpp] = {};
  for (int x = 0; x < width; ++x, row += Bpp) {
    // Called with constant indices, so that the arrays above become registers.
    const auto channel = [&](int k) {
      const int up = UsesAbove ? above[x * Bpp + k] : 0;
      left[k] = std::uint8_t(row[k] + predict(left[k], up, upLeft[k]));
      row[k] = std::uint8_t(left[k]);
      upLeft[k] = up;
    };
    channel(0);
    channel(1);
    channel(2);
    if constexpr (Bpp == 4) channel(3);
    out[x] = ToArgb32Premultiplied<Bpp>(row);
  }
}

// Undoes one row's filter and writes its pixels; `above` is the row above, unfiltered, or null
// for a strip's first row, which the writer filters with None or Sub only. False for a filter
// that does not exist or needs the missing row above.
template <int Bpp>
bool UnfilterRow(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* above, QRgb* out,
                 int width) {
  const std::size_t n = std::size_t(width) * Bpp;
  switch (filter) {
    case 0:
      ToArgb32Premultiplied<Bpp>(row, out, width);
      return true;
    case 1:
      UnfilterFromLeft<Bpp, false>(row, above, out, width, [](int a, int, int) { return a; });
      return true;
    case 2:
      if (!above) return false;
      for (std::size_t i = 0; i < n; ++i) row[i] = std::uint8_t(row[i] + above[i]);
      ToArgb32Premultiplied<Bpp>(row, out, width);
      return true;
    case 3:
      if (!above) return false;
      UnfilterFromLeft<Bpp, true>(row, above, out, width,
                                  [](int a, int b, int) { return (a + b) >> 1; });
      return true;
    case 4:
      if (!above) return false;
      UnfilterFromLeft<Bpp, true>(row, above, out, width, Paeth);
      return true;
    default:
      return false;
  }
}

template <int Bpp>
bool UnfilterRows(const TStripPng& png, std::uint8_t* raw, int rows, std::uint8_t* firstRow,
                  std::size_t bytesPerLine) {
  const std::size_t stride = std::size_t(RowBytes(png)) + 1;
  for (int r = 0; r < rows; ++r) {
    std::uint8_t* row = raw + std::size_t(r) * stride;
    const std::uint8_t* above = r == 0 ? nullptr : row + 1 - stride;
    QRgb* out = reinterpret_cast<QRgb*>(firstRow + std::size_t(r) * bytesPerLine);
    if (!UnfilterRow<Bpp>(row[0], row + 1, above, out, png.Width)) return false;
  }
  return true;
}

struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

}  // namespace

int TStripPng::StripRows(std::size_t strip) const {
  const std::int64_t top = std::int64_t(strip) * StripHeight;
  return int(std::clamp<std::int64_t>(Height - top, 0, StripHeight));
}

std::optional<TStripPng> ParseStripPng(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < sizeof kSignature || std::memcmp(bytes.data(), kSignature, 8) != 0) {
    return std::nullopt;
  }
  TStripPng png;
  enum class TStage { Header, BeforeData, Data } stage = TStage::Header;
  std::size_t pos = sizeof kSignature;
  for (;;) {
    // Length, type, data, CRC: everything inside the bytes or the file is not ours.
    if (bytes.size() - pos < 12) return std::nullopt;
    const std::uint32_t length = BigEndian32(bytes.data() + pos);
    if (length > 0x7FFFFFFFu || bytes.size() - pos - 12 < length) return std::nullopt;
    const std::span<const std::uint8_t> chunk = bytes.subspan(pos + 4, std::size_t(length) + 4);
    const std::uint8_t* data = chunk.data() + 4;
    const std::uint32_t crc = BigEndian32(chunk.data() + chunk.size());
    pos += std::size_t(length) + 12;

    if (IsType(chunk, "IDAT")) {
      if (stage == TStage::Header || png.StripHeight == 0) return std::nullopt;
      stage = TStage::Data;
      png.Strips.push_back({chunk, crc});
      continue;
    }
    if (Crc(chunk) != crc) return std::nullopt;
    if (stage == TStage::Header) {
      if (!IsType(chunk, "IHDR") || length != 13) return std::nullopt;
      const std::uint32_t width = BigEndian32(data), height = BigEndian32(data + 4);
      const std::uint8_t depth = data[8], colourType = data[9];
      if (width < 1 || height < 1 || width > std::uint32_t(kMaxBitmapSize) ||
          height > std::uint32_t(kMaxBitmapSize) || depth != 8 ||
          (colourType != 2 && colourType != 6) || data[10] != 0 || data[11] != 0 || data[12] != 0) {
        return std::nullopt;
      }
      png.Width = int(width);
      png.Height = int(height);
      png.Channels = colourType == 6 ? 4 : 3;
      stage = TStage::BeforeData;
    } else if (stage == TStage::BeforeData && IsType(chunk, "stRP")) {
      if (length != 4 || png.StripHeight != 0) return std::nullopt;
      const std::uint32_t stripHeight = BigEndian32(data);
      if (stripHeight < 1) return std::nullopt;
      // A strip taller than the image is the whole image.
      png.StripHeight = int(std::min<std::uint32_t>(stripHeight, std::uint32_t(png.Height)));
    } else if (stage == TStage::Data && IsType(chunk, "IEND")) {
      if (length != 0) return std::nullopt;
      break;
    } else {
      // Any other chunk could change what an ordinary reader makes of the pixels (tRNS, gAMA,
      // PLTE...) or splits the data differently: leave such files to it.
      return std::nullopt;
    }
  }

  const std::uint64_t strips = (std::uint64_t(png.Height) + std::uint64_t(png.StripHeight) - 1) /
                               std::uint64_t(png.StripHeight);
  if (png.Strips.size() != strips) return std::nullopt;
  if (StripBytes(png, 0) > kMaxStripBytes) return std::nullopt;
  // The zlib header opens the first strip, the Adler-32 closes the last.
  const std::span<const std::uint8_t> first = png.Strips.front().TypeAndData.subspan(4);
  const std::span<const std::uint8_t> last = png.Strips.back().TypeAndData.subspan(4);
  if (first.size() < 2 || !ValidZlibHeader(first.data())) return std::nullopt;
  if (last.size() < (strips == 1 ? 6u : 4u)) return std::nullopt;
  png.Adler = BigEndian32(last.data() + last.size() - 4);
  return png;
}

std::optional<std::uint32_t> DecodeStrip(const TStripPng& png, std::size_t strip,
                                         std::uint8_t* pixels, std::size_t bytesPerLine) {
  if (strip >= png.Strips.size()) return std::nullopt;
  return DecodeStripRows(png, strip,
                         pixels + std::size_t(strip) * std::size_t(png.StripHeight) * bytesPerLine,
                         bytesPerLine);
}

std::optional<std::uint32_t> DecodeStripRows(const TStripPng& png, std::size_t strip,
                                             std::uint8_t* firstRow, std::size_t bytesPerLine) {
  if (strip >= png.Strips.size()) return std::nullopt;
  const TStripPng::TChunk& chunk = png.Strips[strip];
  if (Crc(chunk.TypeAndData) != chunk.Crc) return std::nullopt;
  const bool isFirst = strip == 0, isLast = strip + 1 == png.Strips.size();
  std::span<const std::uint8_t> deflated = chunk.TypeAndData.subspan(4);
  // ParseStripPng made sure these bytes are there.
  if (isFirst) deflated = deflated.subspan(2);
  if (isLast) deflated = deflated.first(deflated.size() - 4);

  std::vector<std::uint8_t> completed;
  if (!isLast) {
    if (deflated.size() < sizeof kFlushMarker ||
        std::memcmp(deflated.data() + deflated.size() - 4, kFlushMarker, 4) != 0) {
      return std::nullopt;
    }
    completed.reserve(deflated.size() + sizeof kEmptyFinalBlock);
    completed.assign(deflated.begin(), deflated.end());
    completed.insert(completed.end(), kEmptyFinalBlock, kEmptyFinalBlock + 2);
    deflated = completed;
  }

  const std::size_t rawSize = std::size_t(StripBytes(png, strip));
  const std::unique_ptr<std::uint8_t[]> raw(new (std::nothrow) std::uint8_t[rawSize]);
  const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
      libdeflate_alloc_decompressor());
  if (!raw || !decompressor) return std::nullopt;
  std::size_t consumed = 0, produced = 0;
  const libdeflate_result result =
      libdeflate_deflate_decompress_ex(decompressor.get(), deflated.data(), deflated.size(),
                                       raw.get(), rawSize, &consumed, &produced);
  // The strip's data must be exactly one stream that inflates to exactly its rows.
  if (result != LIBDEFLATE_SUCCESS || consumed != deflated.size() || produced != rawSize) {
    return std::nullopt;
  }
  const std::uint32_t adler = libdeflate_adler32(1, raw.get(), rawSize);

  const int rows = png.StripRows(strip);
  const bool unfiltered = png.Channels == 4
                              ? UnfilterRows<4>(png, raw.get(), rows, firstRow, bytesPerLine)
                              : UnfilterRows<3>(png, raw.get(), rows, firstRow, bytesPerLine);
  if (!unfiltered) return std::nullopt;
  return adler;
}

std::uint32_t Adler32Combine(std::uint32_t first, std::uint32_t second,
                             std::uint64_t secondLength) {
  // Each checksum is (B << 16) | A with A = 1 + sum of bytes and B = sum of the A values after
  // each byte, both modulo 65521. Behind the first sequence the second's A values all grow by
  // the first's A - 1.
  const std::uint64_t a1 = first & 0xFFFF, b1 = first >> 16;
  const std::uint64_t a2 = second & 0xFFFF, b2 = second >> 16;
  const std::uint64_t length = secondLength % kAdlerBase;
  const std::uint64_t a = (a1 + a2 + kAdlerBase - 1) % kAdlerBase;
  const std::uint64_t b = (b1 + b2 + length * ((a1 + kAdlerBase - 1) % kAdlerBase)) % kAdlerBase;
  return std::uint32_t((b << 16) | a);
}

bool StripChecksumsMatch(const TStripPng& png, std::span<const std::uint32_t> stripAdlers) {
  if (stripAdlers.size() != png.Strips.size() || stripAdlers.empty()) return false;
  std::uint32_t combined = stripAdlers[0];
  for (std::size_t i = 1; i < stripAdlers.size(); ++i) {
    combined = Adler32Combine(combined, stripAdlers[i], StripBytes(png, i));
  }
  return combined == png.Adler;
}

QImage DecodeStripPng(std::span<const std::uint8_t> bytes) {
  const std::optional<TStripPng> png = ParseStripPng(bytes);
  if (!png) return {};
  QImage image(png->Width, png->Height, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return {};
  std::uint8_t* pixels = image.bits();
  const std::size_t bytesPerLine = std::size_t(image.bytesPerLine());
  std::vector<std::uint32_t> adlers;
  adlers.reserve(png->Strips.size());
  for (std::size_t i = 0; i < png->Strips.size(); ++i) {
    const std::optional<std::uint32_t> adler = DecodeStrip(*png, i, pixels, bytesPerLine);
    if (!adler) return {};
    adlers.push_back(*adler);
  }
  if (!StripChecksumsMatch(*png, adlers)) return {};
  return image;
}

}  // namespace rt3d

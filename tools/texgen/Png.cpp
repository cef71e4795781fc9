#include "tools/texgen/Png.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace orvanth::texgen {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("PNG encoding failed: " + what);
}

void PutBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  const std::uint8_t bytes[4] = {
      static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
      static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  out.insert(out.end(), bytes, bytes + 4);
}

void PutChunk(std::vector<std::uint8_t>& out, const char (&type)[5],
              std::span<const std::uint8_t> data) {
  if (data.size() > 0x7FFFFFFFu) Fail("a chunk is too large");
  PutBigEndian32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  uLong crc = crc32(0, out.data() + start, static_cast<uInt>(out.size() - start));
  PutBigEndian32(out, static_cast<std::uint32_t>(crc));
}

int Paeth(int left, int up, int upLeft) {
  const int p = left + up - upLeft;
  const int pa = std::abs(p - left), pb = std::abs(p - up), pc = std::abs(p - upLeft);
  if (pa <= pb && pa <= pc) return left;
  return pb <= pc ? up : upLeft;
}

// Picks each row's filter by the smallest sum of the filtered bytes taken as signed values:
// small residuals compress best, and this guess is cheap and good.
class RowFilter {
 public:
  RowFilter(std::size_t rowBytes, int pixelBytes) : rowBytes_(rowBytes), pixelBytes_(pixelBytes) {
    for (auto& candidate : candidates_) candidate.resize(rowBytes);
  }

  // Appends the filter type and the filtered row. Without a row above only None and Sub are
  // tried, so the row decodes without the strip before it.
  void Append(const std::uint8_t* row, const std::uint8_t* above, std::vector<std::uint8_t>& out) {
    const std::size_t n = rowBytes_, bpp = std::size_t(pixelBytes_);
    std::uint64_t sums[5] = {UINT64_MAX, UINT64_MAX, UINT64_MAX, UINT64_MAX, UINT64_MAX};
    // Each filter predicts a byte from its left neighbour a, the one above b and the one above
    // left c (zero outside the row).
    const auto run = [&](int type, auto predict) {
      std::uint8_t* filtered = candidates_[type].data();
      std::uint64_t sum = 0;
      for (std::size_t i = 0; i < n; ++i) {
        const int a = i >= bpp ? row[i - bpp] : 0;
        const auto value = static_cast<std::uint8_t>(row[i] - predict(i, a));
        filtered[i] = value;
        sum += static_cast<std::uint64_t>(std::abs(int(static_cast<std::int8_t>(value))));
      }
      sums[type] = sum;
    };
    run(0, [](std::size_t, int) { return 0; });
    run(1, [](std::size_t, int a) { return a; });
    if (above) {
      run(2, [&](std::size_t i, int) { return int(above[i]); });
      run(3, [&](std::size_t i, int a) { return (a + above[i]) >> 1; });
      run(4,
          [&](std::size_t i, int a) { return Paeth(a, above[i], i >= bpp ? above[i - bpp] : 0); });
    }
    const std::size_t best = std::size_t(std::min_element(sums, sums + 5) - sums);
    out.push_back(static_cast<std::uint8_t>(best));
    out.insert(out.end(), candidates_[best].begin(), candidates_[best].end());
  }

 private:
  std::size_t rowBytes_;
  int pixelBytes_;
  std::array<std::vector<std::uint8_t>, 5> candidates_;
};

struct Deflater {
  z_stream stream{};
  explicit Deflater(int level) {
    if (deflateInit2(&stream, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      Fail("compression level " + std::to_string(level) + " is not valid");
    }
  }
  ~Deflater() { deflateEnd(&stream); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Compresses `in` and ends with `flush` (Z_FULL_FLUSH: byte-aligned and with no reference to
  // earlier bytes; Z_FINISH: the end of the stream and its checksum). Returns all output since
  // the previous call.
  std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& in, int flush) {
    std::vector<std::uint8_t> out(deflateBound(&stream, static_cast<uLong>(in.size())) + 64);
    stream.next_in = const_cast<Bytef*>(in.data());
    stream.avail_in = static_cast<uInt>(in.size());
    std::size_t used = 0;
    for (;;) {
      stream.next_out = out.data() + used;
      stream.avail_out = static_cast<uInt>(out.size() - used);
      const int result = deflate(&stream, flush);
      used = out.size() - stream.avail_out;
      if (result == Z_STREAM_ERROR) Fail("zlib refused the data");
      const bool done = flush == Z_FINISH ? result == Z_STREAM_END
                                          : stream.avail_out != 0 && stream.avail_in == 0;
      if (done) break;
      out.resize(out.size() * 2);
    }
    out.resize(used);
    return out;
  }
};

}  // namespace

std::vector<std::uint8_t> EncodePng(const Image& image, int compressionLevel) {
  if (image.width <= 0 || image.height <= 0 ||
      image.rgba.size() != static_cast<std::size_t>(image.width) * image.height * 4) {
    Fail("the image has no pixels or a wrong size");
  }
  bool opaque = true;
  for (std::size_t i = 3; i < image.rgba.size() && opaque; i += 4) opaque = image.rgba[i] == 255;
  const int pixelBytes = opaque ? 3 : 4;
  const std::size_t rowBytes = static_cast<std::size_t>(image.width) * pixelBytes;
  // zlib takes at most 4 GB in one call; a strip is far below that for any sensible width.
  if ((rowBytes + 1) * kPngStripHeight > UINT_MAX) Fail("the image is too wide");

  std::vector<std::uint8_t> png(kSignature, kSignature + sizeof kSignature);
  std::vector<std::uint8_t> header;
  PutBigEndian32(header, static_cast<std::uint32_t>(image.width));
  PutBigEndian32(header, static_cast<std::uint32_t>(image.height));
  // Depth 8; colour type 2 (RGB) or 6 (RGBA); compression, filter method and interlace 0.
  header.insert(header.end(), {8, static_cast<std::uint8_t>(opaque ? 2 : 6), 0, 0, 0});
  PutChunk(png, "IHDR", header);
  std::vector<std::uint8_t> stripHeight;
  PutBigEndian32(stripHeight, kPngStripHeight);
  PutChunk(png, "stRP", stripHeight);

  Deflater deflater(compressionLevel);
  RowFilter filter(rowBytes, pixelBytes);
  // Rows as stored: RGBA as it is, RGB packed; the previous one is kept for the filters.
  std::vector<std::uint8_t> row(rowBytes), above(rowBytes);
  std::vector<std::uint8_t> raw;
  raw.reserve((rowBytes + 1) * kPngStripHeight);
  for (int top = 0; top < image.height; top += kPngStripHeight) {
    const int bottom = std::min(image.height, top + kPngStripHeight);
    raw.clear();
    for (int y = top; y < bottom; ++y) {
      const std::uint8_t* source = image.Row(y);
      if (opaque) {
        for (int x = 0; x < image.width; ++x)
          std::memcpy(&row[std::size_t(x) * 3], source + std::size_t(x) * 4, 3);
      } else {
        std::memcpy(row.data(), source, rowBytes);
      }
      filter.Append(row.data(), y == top ? nullptr : above.data(), raw);
      std::swap(row, above);
    }
    const bool last = bottom == image.height;
    PutChunk(png, "IDAT", deflater.Compress(raw, last ? Z_FINISH : Z_FULL_FLUSH));
  }
  PutChunk(png, "IEND", {});
  return png;
}

void WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::filesystem::path temporary = path;
  temporary += ".part";
  bool created = false;
  const auto fail = [&](const std::string& reason) {
    // Remove only what this call created: a file of that name from elsewhere stays.
    if (created) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
    }
    throw std::runtime_error("Cannot write " + path.string() + ": " + reason);
  };
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) fail(std::strerror(errno));
  created = true;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int writeErrno = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) fail(std::strerror(written ? errno : writeErrno));
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) fail(error.message());
}

}  // namespace orvanth::texgen

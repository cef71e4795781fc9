#pragma once
// PNG files as a list of chunks, for tests that look inside written files or damage them on
// purpose: reading, writing back with correct CRCs, and inflating with zlib (a library the
// decoder under test does not use).

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvanth::tests {

using Bytes = std::vector<std::uint8_t>;

struct PngChunk {
  std::string type;
  Bytes data;
  std::uint32_t crc = 0;  // as stored
};

inline constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

inline std::uint32_t ReadBigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

inline void AppendBigEndian32(Bytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(value >> shift));
}

inline std::uint32_t ChunkCrc(const std::string& type, const Bytes& data) {
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
  // zlib takes a null buffer (an empty vector's) as a request for the initial value.
  if (!data.empty()) crc = crc32(crc, data.data(), uInt(data.size()));
  return std::uint32_t(crc);
}

// Every chunk up to and including IEND. Throws std::runtime_error when the bytes do not hold
// that much.
inline std::vector<PngChunk> ReadPngChunks(std::span<const std::uint8_t> png) {
  if (png.size() < 8 || std::memcmp(png.data(), kPngSignature, 8) != 0) {
    throw std::runtime_error("no PNG signature");
  }
  std::vector<PngChunk> chunks;
  std::size_t pos = 8;
  while (chunks.empty() || chunks.back().type != "IEND") {
    if (png.size() - pos < 12) throw std::runtime_error("a chunk runs past the end");
    const std::uint32_t length = ReadBigEndian32(png.data() + pos);
    if (png.size() - pos - 12 < length) throw std::runtime_error("a chunk runs past the end");
    PngChunk chunk;
    chunk.type.assign(reinterpret_cast<const char*>(png.data() + pos + 4), 4);
    chunk.data.assign(png.begin() + pos + 8, png.begin() + pos + 8 + length);
    chunk.crc = ReadBigEndian32(png.data() + pos + 8 + length);
    chunks.push_back(std::move(chunk));
    pos += 12 + length;
  }
  return chunks;
}

enum class Crcs { Computed, AsStored };

// The signature and the chunks, each with the CRC of its present contents or, to write damaged
// files, the one in `crc`.
inline Bytes WritePng(const std::vector<PngChunk>& chunks, Crcs crcs = Crcs::Computed) {
  Bytes png(kPngSignature, kPngSignature + 8);
  for (const PngChunk& chunk : chunks) {
    AppendBigEndian32(png, std::uint32_t(chunk.data.size()));
    png.insert(png.end(), chunk.type.begin(), chunk.type.end());
    png.insert(png.end(), chunk.data.begin(), chunk.data.end());
    AppendBigEndian32(png, crcs == Crcs::Computed ? ChunkCrc(chunk.type, chunk.data) : chunk.crc);
  }
  return png;
}

// Inflates `data` (windowBits as for zlib's inflateInit2: 15 for a zlib stream, -15 for raw
// deflate) until the input runs out or the stream ends. Throws on data zlib refuses.
inline Bytes Inflate(std::span<const std::uint8_t> data, int windowBits) {
  z_stream stream{};
  if (inflateInit2(&stream, windowBits) != Z_OK) throw std::runtime_error("inflateInit2");
  Bytes out;
  std::uint8_t buffer[1 << 15];
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = uInt(data.size());
  int result = Z_OK;
  while (result == Z_OK) {
    stream.next_out = buffer;
    stream.avail_out = sizeof buffer;
    result = inflate(&stream, Z_NO_FLUSH);
    out.insert(out.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
    if (result == Z_BUF_ERROR && stream.avail_in == 0) result = Z_STREAM_END;  // input used up
  }
  inflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("zlib refused the data");
  return out;
}

}  // namespace orvanth::tests

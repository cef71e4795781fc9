#pragma once
// A fast path for the PNG files texgen writes: rows grouped in strips, each strip compressed on
// its own (ended by a full flush) in one IDAT chunk, its first row filtered without the row
// above, and the strip height in a private "stRP" chunk. Such a strip can be inflated and
// unfiltered without the others, so the strips of one image decode in parallel.
//
// Only files that are exactly of that shape take this path: 8-bit RGB or RGBA, not interlaced,
// no chunk but IHDR, stRP, IDAT and IEND, one IDAT per strip. Anything else, and any damage
// found on the way, is reported so that the caller decodes the file with an ordinary reader.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include <QImage>

namespace rt3d {

struct TStripPng {
  int Width = 0;
  int Height = 0;
  int Channels = 0;  // 3 (RGB) or 4 (RGBA)
  int StripHeight = 0;
  // Each strip's IDAT chunk: type and data (what its CRC covers), and the stored CRC.
  struct TChunk {
    std::span<const std::uint8_t> TypeAndData;
    std::uint32_t Crc = 0;
  };
  std::vector<TChunk> Strips;
  // Adler-32 of the whole inflated stream, from the zlib trailer at the end of the last strip.
  std::uint32_t Adler = 0;

  int StripRows(std::size_t strip) const;
};

// Reads the layout from the chunk headers; the IDAT CRCs are left to DecodeStrip so that
// the strips' workers share that work. No value when the bytes are not such a file.
std::optional<TStripPng> ParseStripPng(std::span<const std::uint8_t> bytes);

// Decodes one strip into rows [strip * StripHeight, ...) of a Width x Height image in
// QImage::Format_ARGB32_Premultiplied whose first row is at `pixels`, rows `bytesPerLine`
// apart. Gives the Adler-32 of the strip's inflated bytes, or no value when the strip is
// damaged (some of its rows may then have been written). Thread-safe for different strips.
std::optional<std::uint32_t> DecodeStrip(const TStripPng& png, std::size_t strip,
                                         std::uint8_t* pixels, std::size_t bytesPerLine);
// The same with the strip's own first row at firstRow: an image of just that strip's rows.
std::optional<std::uint32_t> DecodeStripRows(const TStripPng& png, std::size_t strip,
                                             std::uint8_t* firstRow, std::size_t bytesPerLine);

// Whether the strips' checksums, in order, make up the one in the stream's trailer.
bool StripChecksumsMatch(const TStripPng& png, std::span<const std::uint32_t> stripAdlers);

// The Adler-32 of two byte sequences one after the other, from the checksum of each and the
// length of the second.
std::uint32_t Adler32Combine(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength);

// Every strip one after the other on the calling thread. A null image when the bytes are not
// such a file or are damaged.
QImage DecodeStripPng(std::span<const std::uint8_t> bytes);

}  // namespace rt3d

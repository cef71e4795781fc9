#pragma once
// PNG encoding and safe file writing.

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "tools/texgen/Image.h"

namespace orvanth::texgen {

// Rows per strip. Each strip is compressed on its own (a full flush between strips) and stored
// as one IDAT chunk, and its first row refers to no row above it, so a reader can inflate and
// unfilter the strips of one image in parallel. A private "stRP" chunk before the pixel data
// holds this number; ordinary readers skip it and see a plain PNG.
inline constexpr int kPngStripHeight = 64;

// An 8-bit, non-interlaced PNG of the image: RGB when every pixel is opaque, else RGBA, made of
// strips as above. compressionLevel is zlib's (0 to 9, -1 for its default). Throws
// std::runtime_error on failure.
std::vector<std::uint8_t> EncodePng(const Image& image, int compressionLevel = 6);

// Writes the bytes to a temporary file beside `path` and renames it over `path`, so a failed
// write never leaves a truncated file or destroys the one already there. Throws
// std::runtime_error naming the file and the reason.
void WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace orvanth::texgen

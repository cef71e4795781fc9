#pragma once
// PNG encoding and safe file writing.

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "tools/texgen/Image.h"

namespace orvanth::texgen {

// An 8-bit RGBA, non-interlaced PNG of the image. Throws std::runtime_error on failure.
std::vector<std::uint8_t> EncodePng(const Image& image, int compressionLevel = 6);

// Writes the bytes to a temporary file beside `path` and renames it over `path`, so a failed
// write never leaves a truncated file or destroys the one already there. Throws
// std::runtime_error naming the file and the reason.
void WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace orvanth::texgen

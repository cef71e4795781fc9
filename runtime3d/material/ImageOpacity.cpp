#include "runtime3d/material/ImageOpacity.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace rt3d {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

}  // namespace

bool StoredImageIsOpaque(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kSignature.size() ||
      !std::equal(kSignature.begin(), kSignature.end(), bytes.begin())) {
    return false;
  }
  // Chunks up to the first image data: IHDR tells the colour type; tRNS would add alpha.
  std::size_t at = kSignature.size();
  bool sawHeader = false, alphaFree = false;
  while (bytes.size() - at >= 12) {
    const std::uint32_t length = BigEndian32(&bytes[at]);
    const std::uint8_t* type = &bytes[at + 4];
    if (length > bytes.size() - at - 12) return false;
    if (!sawHeader) {
      if (std::memcmp(type, "IHDR", 4) != 0 || length < 13) return false;
      const std::uint8_t colourType = bytes[at + 8 + 9];
      // 0: grey, 2: RGB; 3 (palette), 4 and 6 may carry alpha.
      alphaFree = colourType == 0 || colourType == 2;
      sawHeader = true;
    } else if (std::memcmp(type, "tRNS", 4) == 0) {
      return false;
    } else if (std::memcmp(type, "IDAT", 4) == 0) {
      return alphaFree;
    }
    at += 12 + std::size_t(length);
  }
  return false;
}

}  // namespace rt3d

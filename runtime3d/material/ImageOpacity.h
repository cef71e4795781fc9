#pragma once
// Whether a stored image is opaque, told from its header without decoding it.

#include <cstdint>
#include <span>

namespace rt3d {

// True for a PNG whose colour type has no alpha channel (grey or RGB) and that has no
// transparency chunk: every pixel it decodes to has alpha 255. False for anything else,
// including bytes it cannot read; false never claims too much.
bool StoredImageIsOpaque(std::span<const std::uint8_t> bytes);

}  // namespace rt3d

#pragma once
// An 8-bit RGBA picture, rows top to bottom, four bytes a pixel, not premultiplied.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvanth::texgen {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;

  Image() = default;
  Image(int w, int h) : width(w), height(h), rgba(static_cast<std::size_t>(w) * h * 4, 0) {}

  std::uint8_t* Row(int y) { return rgba.data() + static_cast<std::size_t>(y) * width * 4; }
  const std::uint8_t* Row(int y) const {
    return rgba.data() + static_cast<std::size_t>(y) * width * 4;
  }
};

}  // namespace orvanth::texgen

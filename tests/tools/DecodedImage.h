#pragma once
// Decoding PNG bytes for the tests, with libspng (an independent decoder, not our encoder),
// and small statistics over the pixels.

#include <spng.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvanth::tests {

struct DecodedImage {
  int width = 0;
  int height = 0;
  int bitDepth = 0;
  int colourType = 0;
  int interlace = 0;
  std::vector<std::uint8_t> rgba;

  const std::uint8_t* At(int x, int y) const {
    return rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4;
  }
  double Luma(int x, int y) const {
    const std::uint8_t* p = At(x, y);
    return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
  }
};

// Throws std::runtime_error with libspng's reason when the bytes are not a valid PNG (CRCs
// and zlib checksums included).
inline DecodedImage DecodePng(std::span<const std::uint8_t> bytes) {
  const std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)> ctx(spng_ctx_new(0), &spng_ctx_free);
  const auto check = [](int error) {
    if (error)
      throw std::runtime_error(std::string("PNG decoding failed: ") + spng_strerror(error));
  };
  check(spng_set_png_buffer(ctx.get(), bytes.data(), bytes.size()));
  // The maps are big; lift the decoder's default guard against huge chunks and images.
  check(spng_set_image_limits(ctx.get(), 1 << 16, 1 << 16));
  spng_ihdr ihdr{};
  check(spng_get_ihdr(ctx.get(), &ihdr));
  DecodedImage image;
  image.width = static_cast<int>(ihdr.width);
  image.height = static_cast<int>(ihdr.height);
  image.bitDepth = ihdr.bit_depth;
  image.colourType = ihdr.color_type;
  image.interlace = ihdr.interlace_method;
  std::size_t size = 0;
  check(spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size));
  image.rgba.resize(size);
  check(spng_decode_image(ctx.get(), image.rgba.data(), size, SPNG_FMT_RGBA8, 0));
  return image;
}

// Where the difference between the last and the first column (the two sides of the
// wrap-around) lies between that of neighbouring columns (0) and that of columns a quarter turn
// apart (1). Close to 0 for a seamless map; a seam shows as a jump like distant columns have.
// `block` x `block` pixels are averaged first, for pictures whose pixel-sized detail (single
// stars) is unrelated even between neighbours.
inline double SeamScore(const DecodedImage& image, int block = 1) {
  const int columns = image.width / block, rows = image.height / block;
  std::vector<double> cells(static_cast<std::size_t>(columns) * rows * 3, 0.0);
  const auto cell = [&](int column, int row, int c) -> double& {
    return cells[(static_cast<std::size_t>(row) * columns + column) * 3 + c];
  };
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      // The last column of cells ends exactly at the right edge.
      const int left = column == columns - 1 ? image.width - block : column * block;
      for (int y = row * block; y < (row + 1) * block; ++y) {
        for (int x = left; x < left + block; ++x) {
          for (int c = 0; c < 3; ++c) cell(column, row, c) += image.At(x, y)[c];
        }
      }
    }
  }
  const auto difference = [&](int a, int b) {
    double sum = 0;
    for (int row = 0; row < rows; ++row) {
      for (int c = 0; c < 3; ++c) sum += std::abs(cell(a, row, c) - cell(b, row, c));
    }
    return sum;
  };
  double near = 0, far = 0;
  for (int column = 0; column + 1 < columns; ++column) {
    near += difference(column, column + 1);
    far += difference(column, (column + columns / 4) % columns);
  }
  const double seam = difference(columns - 1, 0);
  return (seam - near / (columns - 1)) / std::max((far - near) / (columns - 1), 1e-9);
}

// Standard deviation of the luma along one row.
inline double RowSpread(const DecodedImage& image, int y) {
  double sum = 0, sum2 = 0;
  for (int x = 0; x < image.width; ++x) {
    const double l = image.Luma(x, y);
    sum += l;
    sum2 += l * l;
  }
  const double mean = sum / image.width;
  return std::sqrt(std::max(0.0, sum2 / image.width - mean * mean));
}

}  // namespace orvanth::tests

#include "tools/texgen/Texgen.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "tools/texgen/Bodies.h"

namespace orvanth::texgen {

namespace {

constexpr int kMaxSide = 16384;

constexpr OutputFile kOutputFiles[] = {
    {"stars.png", Picture::Stars, 6000, 3000, true},
    {"planet.png", Picture::Planet, 4096, 2048, true},
    {"io.png", Picture::Io, 2048, 1024, true},
    {"europa.png", Picture::Europa, 2048, 1024, true},
    {"ganymede.png", Picture::Ganymede, 1800, 900, true},
    {"callisto.png", Picture::Callisto, 1800, 900, true},
    {"about.png", Picture::About, 381, 383},
    {"icon-512.png", Picture::Icon, 512, 512},
    {"icon-256.png", Picture::Icon, 256, 256},
    {"icon-128.png", Picture::Icon, 128, 128},
    {"icon-64.png", Picture::Icon, 64, 64},
    {"icon-48.png", Picture::Icon, 48, 48},
    {"icon-32.png", Picture::Icon, 32, 32},
    {"icon-16.png", Picture::Icon, 16, 16},
};

}  // namespace

Image Render(Picture picture, int width, int height, int threads) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
    throw std::invalid_argument("Image size " + std::to_string(width) + " x " +
                                std::to_string(height) + " is outside 1 x 1 to " +
                                std::to_string(kMaxSide) + " x " + std::to_string(kMaxSide));
  }
  switch (picture) {
    case Picture::Planet:
      return RenderMap(*MakePlanet(), width, height, threads);
    case Picture::Io:
      return RenderMap(*MakeIo(), width, height, threads);
    case Picture::Europa:
      return RenderMap(*MakeEuropa(), width, height, threads);
    case Picture::Ganymede:
      return RenderMap(*MakeGanymede(), width, height, threads);
    case Picture::Callisto:
      return RenderMap(*MakeCallisto(), width, height, threads);
    case Picture::Stars:
      return RenderStars(width, height, threads);
    case Picture::About:
      return RenderIllustration(Scene::About, width, height, threads);
    case Picture::Icon:
      return RenderIllustration(Scene::Icon, width, height, threads);
  }
  throw std::invalid_argument("Unknown picture");
}

std::span<const OutputFile> OutputFiles() {
  return kOutputFiles;
}

Image Shrink(const Image& image, int factor) {
  if (factor < 1) throw std::invalid_argument("Shrink factor " + std::to_string(factor));
  auto side = [&](int length) { return std::max(1, (length + factor / 2) / factor); };
  Image small(side(image.width), side(image.height));
  // Block edges by proportion: together the blocks cover every pixel exactly once.
  auto edge = [](int i, int from, int to) { return int(std::int64_t(i) * from / to); };
  for (int y = 0; y < small.height; ++y) {
    const int y0 = edge(y, image.height, small.height);
    const int y1 = edge(y + 1, image.height, small.height);
    for (int x = 0; x < small.width; ++x) {
      const int x0 = edge(x, image.width, small.width);
      const int x1 = edge(x + 1, image.width, small.width);
      std::uint64_t r = 0, g = 0, b = 0, a = 0;
      for (int sy = y0; sy < y1; ++sy) {
        const std::uint8_t* p = image.Row(sy) + std::size_t(x0) * 4;
        for (int sx = x0; sx < x1; ++sx, p += 4) {
          r += std::uint64_t(p[0]) * p[3];
          g += std::uint64_t(p[1]) * p[3];
          b += std::uint64_t(p[2]) * p[3];
          a += p[3];
        }
      }
      const std::uint64_t count = std::uint64_t(y1 - y0) * std::uint64_t(x1 - x0);
      std::uint8_t* out = small.Row(y) + std::size_t(x) * 4;
      // Rounded to nearest; a fully transparent block stays black and transparent.
      out[0] = std::uint8_t(a ? (r + a / 2) / a : 0);
      out[1] = std::uint8_t(a ? (g + a / 2) / a : 0);
      out[2] = std::uint8_t(a ? (b + a / 2) / a : 0);
      out[3] = std::uint8_t((a + count / 2) / count);
    }
  }
  return small;
}

Image ShrinkMap(const Image& map, int factor) {
  Image small = Shrink(map, factor);
  if (small.width < 2) return small;
  for (int y = 0; y < small.height; ++y) {
    std::uint8_t* first = small.Row(y);
    std::uint8_t* last = first + std::size_t(small.width - 1) * 4;
    // Colours weighted by alpha, as Shrink weights them.
    const unsigned a = unsigned(first[3]) + last[3];
    for (int c = 0; c < 3; ++c) {
      const unsigned sum = unsigned(first[c]) * first[3] + unsigned(last[c]) * last[3];
      first[c] = last[c] = std::uint8_t(a ? (sum + a / 2) / a : 0);
    }
    first[3] = last[3] = std::uint8_t((a + 1) / 2);
  }
  return small;
}

std::string SmallFileName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  const std::string_view stem = name.substr(0, dot);
  const std::string_view extension = dot == std::string_view::npos ? "" : name.substr(dot);
  return std::string(stem) + "-small" + std::string(extension);
}

}  // namespace orvanth::texgen

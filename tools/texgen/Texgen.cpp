#include "tools/texgen/Texgen.h"

#include <stdexcept>
#include <string>

#include "tools/texgen/Bodies.h"

namespace orvanth::texgen {

namespace {

constexpr int kMaxSide = 16384;

constexpr OutputFile kOutputFiles[] = {
    {"stars.png", Picture::Stars, 6000, 3000},
    {"planet.png", Picture::Planet, 4096, 2048},
    {"io.png", Picture::Io, 2048, 1024},
    {"europa.png", Picture::Europa, 2048, 1024},
    {"ganymede.png", Picture::Ganymede, 1800, 900},
    {"callisto.png", Picture::Callisto, 1800, 900},
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

}  // namespace orvanth::texgen

#pragma once
// The program's built-in pictures, generated from fixed seeds: the same bytes on every run.

#include <span>
#include <string>
#include <string_view>

#include "tools/texgen/Image.h"

namespace orvanth::texgen {

enum class Picture {
  Planet,  // banded gas giant, equirectangular
  Io,      // equirectangular moon maps
  Europa,
  Ganymede,
  Callisto,
  Stars,  // star field for the sky sphere, equirectangular
  About,  // the planet and two moons on a transparent background
  Icon,   // the application icon, square, transparent background
};

// Renders a picture at any size (maps are meant to be twice as wide as high, icons square).
// threads = 0 uses every core; the result does not depend on the number of threads.
// Throws std::invalid_argument for a size below 1 x 1 or above 16384 x 16384.
Image Render(Picture picture, int width, int height, int threads = 0);

// A file the generator writes: its name in the output folder and what goes in it.
struct OutputFile {
  std::string_view name;
  Picture picture;
  int width;
  int height;
  // Also write a small version beside it (see Shrink and SmallFileName): the viewer shows
  // that while it decodes the full image.
  bool small = false;
};

// How many times smaller each side of a small version is.
inline constexpr int kSmallFactor = 8;

// The image with each side divided by factor (rounded, at least 1); each pixel is the mean
// of the block of pixels it stands for, colours weighted by their alpha.
Image Shrink(const Image& image, int factor);

// Shrink for a map whose left and right edges meet on the sphere: its first and last
// columns are both the mean of the two. The viewer samples a texture clamped to its edges,
// so where u = 0 meets u = 1 the first and last columns meet with no blending between
// them: any difference shows as a hard line. At full size that is a neighbour's difference,
// too small to see; an eighth as wide, it is a clear seam.
Image ShrinkMap(const Image& map, int factor);

// "planet.png" gives "planet-small.png".
std::string SmallFileName(std::string_view name);

// Every file of a full run, largest first.
std::span<const OutputFile> OutputFiles();

}  // namespace orvanth::texgen

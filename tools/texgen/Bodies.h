#pragma once
// The surfaces of the five bodies. Each is built once (placing its storms, craters and spots)
// and then sampled from any number of threads.

#include <memory>

#include "tools/texgen/Surface.h"

namespace orvanth::texgen {

std::unique_ptr<Surface> MakePlanet();
std::unique_ptr<Surface> MakeIo();
std::unique_ptr<Surface> MakeEuropa();
std::unique_ptr<Surface> MakeGanymede();
std::unique_ptr<Surface> MakeCallisto();

// The star field is painted by splatting stars, not sampled per pixel.
Image RenderStars(int width, int height, int threads);

enum class Scene { About, Icon };
// The planet with moons, lit from the upper left, on a transparent background.
Image RenderIllustration(Scene scene, int width, int height, int threads);

}  // namespace orvanth::texgen

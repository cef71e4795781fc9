#include "assets/Assets.h"

// Defined by the generated assembler file: the bytes of each PNG and their count.
extern "C" {
#define ORVANTH_EMBEDDED_PNG(name)                \
  extern const std::uint8_t orvanth_png_##name[]; \
  extern const std::uint64_t orvanth_png_##name##_size;
ORVANTH_EMBEDDED_PNG(planet)
ORVANTH_EMBEDDED_PNG(io)
ORVANTH_EMBEDDED_PNG(europa)
ORVANTH_EMBEDDED_PNG(ganymede)
ORVANTH_EMBEDDED_PNG(callisto)
ORVANTH_EMBEDDED_PNG(stars)
ORVANTH_EMBEDDED_PNG(about)
ORVANTH_EMBEDDED_PNG(icon_256)
ORVANTH_EMBEDDED_PNG(planet_small)
ORVANTH_EMBEDDED_PNG(io_small)
ORVANTH_EMBEDDED_PNG(europa_small)
ORVANTH_EMBEDDED_PNG(ganymede_small)
ORVANTH_EMBEDDED_PNG(callisto_small)
ORVANTH_EMBEDDED_PNG(stars_small)
#undef ORVANTH_EMBEDDED_PNG
}

namespace orvanth::assets {

#define ORVANTH_PNG_SPAN(name) \
  std::span<const std::uint8_t>(orvanth_png_##name, orvanth_png_##name##_size)

std::span<const std::uint8_t> Png(Image image) {
  switch (image) {
    case Image::Planet:
      return ORVANTH_PNG_SPAN(planet);
    case Image::Io:
      return ORVANTH_PNG_SPAN(io);
    case Image::Europa:
      return ORVANTH_PNG_SPAN(europa);
    case Image::Ganymede:
      return ORVANTH_PNG_SPAN(ganymede);
    case Image::Callisto:
      return ORVANTH_PNG_SPAN(callisto);
    case Image::Stars:
      return ORVANTH_PNG_SPAN(stars);
    case Image::About:
      return ORVANTH_PNG_SPAN(about);
    case Image::Icon:
      return ORVANTH_PNG_SPAN(icon_256);
  }
  // A value outside the enumeration names no image: nothing, which no decoder mistakes for one.
  return {};
}

std::span<const std::uint8_t> SmallPng(Image image) {
  switch (image) {
    case Image::Planet:
      return ORVANTH_PNG_SPAN(planet_small);
    case Image::Io:
      return ORVANTH_PNG_SPAN(io_small);
    case Image::Europa:
      return ORVANTH_PNG_SPAN(europa_small);
    case Image::Ganymede:
      return ORVANTH_PNG_SPAN(ganymede_small);
    case Image::Callisto:
      return ORVANTH_PNG_SPAN(callisto_small);
    case Image::Stars:
      return ORVANTH_PNG_SPAN(stars_small);
    case Image::About:
    case Image::Icon:
      break;
  }
  return {};
}

#undef ORVANTH_PNG_SPAN

}  // namespace orvanth::assets

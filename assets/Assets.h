#pragma once
// The images built into the program: PNG bytes generated at build time by tools/texgen
// and linked into the executable.

#include <cstdint>
#include <span>

namespace orvanth::assets {

enum class Image {
  Planet,    // 4096 x 2048 equirectangular map of Orvanth
  Io,        // 2048 x 1024
  Europa,    // 2048 x 1024
  Ganymede,  // 1800 x 900
  Callisto,  // 1800 x 900
  Stars,     // 6000 x 3000 star field for the sky sphere
  About,     // 381 x 383 picture of the About window, with transparency
  Icon,      // 256 x 256 application icon, with transparency
};

// The embedded PNG file of an image; valid for the whole run.
std::span<const std::uint8_t> Png(Image image);

// A map's small version, an eighth of each side, to show while the full image is decoded;
// empty for the pictures that have none (About, Icon).
std::span<const std::uint8_t> SmallPng(Image image);

}  // namespace orvanth::assets

#pragma once
// Smooth 3D gradient noise and the sums built from it. Every surface samples noise at points of
// the unit sphere (scaled), never at (u, v), so the maps have no seam and no pinched poles.

#include <array>
#include <cstdint>

#include "tools/texgen/Vec3.h"

namespace orvanth::texgen {

class Noise {
 public:
  explicit Noise(std::uint64_t seed);

  // Simplex noise, roughly in [-1, 1], zero on average.
  float At(float x, float y, float z) const;
  float At(const Vec3& p) const {
    return At(static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z));
  }

  // Fractal sum of `octaves` layers, each twice the frequency and `gain` times the amplitude of
  // the one before; scaled back to about [-1, 1].
  float Fbm(const Vec3& p, int octaves, float gain = 0.5f) const;
  // Like Fbm but of 1 - |noise|: sharp crests along the zero lines, in about [0, 1].
  float Ridged(const Vec3& p, int octaves, float gain = 0.5f) const;
  // Three decorrelated Fbm values, used as a displacement (domain warping).
  Vec3 Fbm3(const Vec3& p, int octaves, float gain = 0.5f) const;

 private:
  std::array<std::uint8_t, 512> perm_{};
  std::array<std::uint8_t, 512> gradient_{};  // perm_ % 12, looked up rather than divided
};

}  // namespace orvanth::texgen

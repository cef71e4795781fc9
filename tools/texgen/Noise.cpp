#include "tools/texgen/Noise.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "tools/texgen/Random.h"

namespace orvanth::texgen {
namespace {

// The twelve edge midpoints of a cube: gradients with no preferred axis.
constexpr float kGradients[12][3] = {{1, 1, 0}, {-1, 1, 0}, {1, -1, 0}, {-1, -1, 0},
                                     {1, 0, 1}, {-1, 0, 1}, {1, 0, -1}, {-1, 0, -1},
                                     {0, 1, 1}, {0, -1, 1}, {0, 1, -1}, {0, -1, -1}};

inline int FastFloor(float v) {
  const int i = static_cast<int>(v);
  return v < static_cast<float>(i) ? i - 1 : i;
}

// Offsets that decorrelate the three components of Fbm3.
const Vec3 kOffsetB{31.416, -17.23, 8.71};
const Vec3 kOffsetC{-12.9, 47.1, -23.6};

}  // namespace

Noise::Noise(std::uint64_t seed) {
  std::array<std::uint8_t, 256> p{};
  std::iota(p.begin(), p.end(), 0);
  Random random(seed);
  for (int i = 255; i > 0; --i) {
    const int j = static_cast<int>(random.Next() % static_cast<std::uint64_t>(i + 1));
    std::swap(p[i], p[j]);
  }
  for (int i = 0; i < 512; ++i) {
    perm_[i] = p[i & 255];
    gradient_[i] = static_cast<std::uint8_t>(perm_[i] % 12);
  }
}

// 3D simplex noise after Gustavson's formulation.
float Noise::At(float x, float y, float z) const {
  constexpr float F3 = 1.0f / 3.0f;
  constexpr float G3 = 1.0f / 6.0f;
  const float s = (x + y + z) * F3;
  const int i = FastFloor(x + s);
  const int j = FastFloor(y + s);
  const int k = FastFloor(z + s);
  const float t = static_cast<float>(i + j + k) * G3;
  const float x0 = x - (static_cast<float>(i) - t);
  const float y0 = y - (static_cast<float>(j) - t);
  const float z0 = z - (static_cast<float>(k) - t);

  int i1, j1, k1, i2, j2, k2;
  if (x0 >= y0) {
    if (y0 >= z0) {
      i1 = 1, j1 = 0, k1 = 0, i2 = 1, j2 = 1, k2 = 0;
    } else if (x0 >= z0) {
      i1 = 1, j1 = 0, k1 = 0, i2 = 1, j2 = 0, k2 = 1;
    } else {
      i1 = 0, j1 = 0, k1 = 1, i2 = 1, j2 = 0, k2 = 1;
    }
  } else {
    if (y0 < z0) {
      i1 = 0, j1 = 0, k1 = 1, i2 = 0, j2 = 1, k2 = 1;
    } else if (x0 < z0) {
      i1 = 0, j1 = 1, k1 = 0, i2 = 0, j2 = 1, k2 = 1;
    } else {
      i1 = 0, j1 = 1, k1 = 0, i2 = 1, j2 = 1, k2 = 0;
    }
  }

  const float x1 = x0 - static_cast<float>(i1) + G3;
  const float y1 = y0 - static_cast<float>(j1) + G3;
  const float z1 = z0 - static_cast<float>(k1) + G3;
  const float x2 = x0 - static_cast<float>(i2) + 2.0f * G3;
  const float y2 = y0 - static_cast<float>(j2) + 2.0f * G3;
  const float z2 = z0 - static_cast<float>(k2) + 2.0f * G3;
  const float x3 = x0 - 1.0f + 3.0f * G3;
  const float y3 = y0 - 1.0f + 3.0f * G3;
  const float z3 = z0 - 1.0f + 3.0f * G3;

  const int ii = i & 255;
  const int jj = j & 255;
  const int kk = k & 255;
  const auto corner = [&](float cx, float cy, float cz, int di, int dj, int dk) {
    // Branch-free: which corners contribute is close to random, so a branch mispredicts.
    float a = std::max(0.0f, 0.6f - cx * cx - cy * cy - cz * cz);
    const float* g = kGradients[gradient_[ii + di + perm_[jj + dj + perm_[kk + dk]]]];
    a *= a;
    return a * a * (g[0] * cx + g[1] * cy + g[2] * cz);
  };
  const float n = corner(x0, y0, z0, 0, 0, 0) + corner(x1, y1, z1, i1, j1, k1) +
                  corner(x2, y2, z2, i2, j2, k2) + corner(x3, y3, z3, 1, 1, 1);
  return 32.0f * n;
}

float Noise::Fbm(const Vec3& p, int octaves, float gain) const {
  float x = static_cast<float>(p.x), y = static_cast<float>(p.y), z = static_cast<float>(p.z);
  float sum = 0.0f, amplitude = 1.0f, norm = 0.0f;
  for (int o = 0; o < octaves; ++o) {
    sum += amplitude * At(x, y, z);
    norm += amplitude;
    amplitude *= gain;
    // A slight shift per octave keeps the lattices of the layers from lining up.
    x = x * 2.0f + 17.3f;
    y = y * 2.0f - 9.1f;
    z = z * 2.0f + 4.7f;
  }
  return sum / norm * 1.4f;
}

float Noise::Ridged(const Vec3& p, int octaves, float gain) const {
  float x = static_cast<float>(p.x), y = static_cast<float>(p.y), z = static_cast<float>(p.z);
  float sum = 0.0f, amplitude = 1.0f, norm = 0.0f;
  for (int o = 0; o < octaves; ++o) {
    const float r = 1.0f - std::fabs(At(x, y, z));
    sum += amplitude * r * r;
    norm += amplitude;
    amplitude *= gain;
    x = x * 2.0f + 17.3f;
    y = y * 2.0f - 9.1f;
    z = z * 2.0f + 4.7f;
  }
  return sum / norm;
}

Vec3 Noise::Fbm3(const Vec3& p, int octaves, float gain) const {
  return {Fbm(p, octaves, gain), Fbm(p + kOffsetB, octaves, gain),
          Fbm(p + kOffsetC, octaves, gain)};
}

}  // namespace orvanth::texgen

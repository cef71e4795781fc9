// Io: sulphur-yellow and orange plains, white frost, reddish-brown poles, and scattered dark
// volcanic centres, some ringed by red plume deposits and some by pale ones.

#include <cmath>
#include <numbers>
#include <vector>

#include "tools/texgen/Bodies.h"
#include "tools/texgen/Noise.h"
#include "tools/texgen/Random.h"

namespace orvanth::texgen {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

struct Volcano {
  TangentFrame frame;
  double core;  // radius of the dark centre, radians
  double halo;  // radius of the plume deposit ring, radians (0: none)
  double flow;  // length of dark lava flows around the centre, radians
  Rgb coreColour;
  Rgb haloColour;
  float haloStrength;
  float seed;
};

class Io : public Surface {
 public:
  Io() : grid_(3.0) {
    Random random(0x10AA);
    const Rgb darks[] = {Hex(0x1d1713), Hex(0x2e2118), Hex(0x3a2a1c), Hex(0x4a3524), Hex(0x3b3a2e)};
    for (int i = 0; i < 190; ++i) {
      Vec3 centre = random.OnSphere();
      // Volcanic centres crowd toward the equator.
      centre = Normalize(Vec3{centre.x, centre.y * 0.75, centre.z});
      Volcano v{TangentFrame(centre),
                random.PowerLaw(0.35, 3.2, 2.3) * kDegree,
                0,
                0,
                {},
                {},
                0,
                static_cast<float>(random.Uniform(0, 100))};
      v.coreColour = darks[random.Next() % 5];
      const double kind = random.Uniform();
      if (kind < 0.12) {
        // Great plume: a wide ring of red deposits.
        v.halo = v.core * random.Uniform(4.5, 8.0) + 3.0 * kDegree;
        v.haloColour = Mix(Hex(0xb2462a), Hex(0xc8642e), static_cast<float>(random.Uniform()));
        v.haloStrength = static_cast<float>(random.Uniform(0.55, 0.8));
      } else if (kind < 0.3) {
        // Smaller plume with pale sulphur-dioxide frost around it.
        v.halo = v.core * random.Uniform(2.5, 4.0) + 1.0 * kDegree;
        v.haloColour = Hex(0xf2f0dc);
        v.haloStrength = static_cast<float>(random.Uniform(0.4, 0.7));
      } else if (kind < 0.45) {
        // Orange-red stain of recent deposits.
        v.halo = v.core * random.Uniform(2.0, 3.5) + 0.8 * kDegree;
        v.haloColour = Hex(0xc56a33);
        v.haloStrength = static_cast<float>(random.Uniform(0.35, 0.6));
      }
      if (random.Chance(0.4)) v.flow = v.core * random.Uniform(1.5, 3.5);
      grid_.Insert(centre, std::max({v.core * 1.4, v.halo * 1.35, v.core + v.flow * 1.3}),
                   static_cast<int>(volcanoes_.size()));
      volcanoes_.push_back(v);
    }
  }

  Rgb At(const Vec3& p) const override {
    const Vec3 warp = plains_.Fbm3(p * 2.5, 3);
    const Vec3 q = p + warp * 0.25;
    // Plains: a patchwork of yellow, ochre and orange.
    const float m1 = plains_.Fbm(q * 3.0, 5);
    const float m2 = plains_.Fbm(q * 7.0 + Vec3{3.1, -2.2, 5.5}, 4);
    Rgb colour = Mix(Hex(0xe0c766), Hex(0xc9903f), SmoothStep(-0.2f, 0.7f, m1));
    colour = Mix(colour, Hex(0xeadb94), SmoothStep(0.1f, 0.6f, -m1) * 0.8f);
    colour = Mix(colour, Hex(0xb7b35a), SmoothStep(0.35f, 0.8f, m2) * 0.45f);
    // White frost fields.
    const float frost = plains_.Fbm(q * 4.0 + Vec3{-8.0, 1.0, 2.0}, 5);
    colour = Mix(colour, Hex(0xf1ede0), SmoothStep(0.3f, 0.75f, frost) * 0.85f);
    // Fine mottling.
    colour = colour * (1.0f + 0.07f * detail_.Fbm(q * 24.0, 3));

    // Reddish-brown poles.
    const float latitude = static_cast<float>(std::fabs(Latitude(p)) / kDegree);
    const float polar = SmoothStep(38.0f, 75.0f, latitude + 12.0f * m2);
    const Rgb polarColour = Mix(Hex(0x8c5a3a), Hex(0xa77a4c), 0.5f + 0.5f * m1);
    colour = Mix(colour, polarColour, polar * 0.85f);

    for (const int index : grid_.Near(p)) colour = PaintVolcano(volcanoes_[index], p, colour);
    return colour;
  }

 private:
  Rgb PaintVolcano(const Volcano& v, const Vec3& p, Rgb colour) const {
    if (Dot(p, v.frame.centre) <= 0) return colour;
    const double x = v.frame.X(p), y = v.frame.Y(p);
    const double d = std::sqrt(x * x + y * y);
    // Ragged outlines: the distance is stretched by noise around the centre.
    const float rag = detail_.At(static_cast<float>(x / v.core * 0.9),
                                 static_cast<float>(y / v.core * 0.9), v.seed);
    if (v.halo > 0) {
      const double t = d / v.halo;
      const float plumeRag =
          detail_.Fbm(Vec3{x / v.halo * 2.5, y / v.halo * 2.5, v.seed + 40.0}, 3);
      const double ring = std::exp(-std::pow((t + 0.15 * plumeRag - 0.78) / 0.22, 2.0));
      const double fill = 1.0 - SmoothStep(0.0f, 0.85f, static_cast<float>(t));
      const float amount = v.haloStrength * static_cast<float>(std::max(ring, 0.55 * fill));
      colour = Mix(colour, v.haloColour, Clamp01(amount * (0.85f + 0.3f * plumeRag)));
    }
    const double reach = v.core * (1.0 + 0.35 * rag);
    float dark = 1.0f - SmoothStep(static_cast<float>(reach * 0.8),
                                   static_cast<float>(reach * 1.15), static_cast<float>(d));
    if (v.flow > 0 && d > 0) {
      // Lobes of dark lava running out from the centre in a few directions.
      const double angle = std::atan2(y, x);
      const float lobes = detail_.At(static_cast<float>(std::cos(angle) * 1.6),
                                     static_cast<float>(std::sin(angle) * 1.6), v.seed + 13.0f);
      const double length = v.core + v.flow * std::max(0.0f, lobes * 1.4f + 0.1f);
      dark = std::max(
          dark, 0.8f * (1.0f - SmoothStep(static_cast<float>(length * 0.7),
                                          static_cast<float>(length), static_cast<float>(d))));
    }
    return Mix(colour, v.coreColour, dark);
  }

  Noise plains_{0x10B1A5};
  Noise detail_{0x10DE7A};
  std::vector<Volcano> volcanoes_;
  FeatureGrid grid_;
};

}  // namespace

std::unique_ptr<Surface> MakeIo() {
  return std::make_unique<Io>();
}

}  // namespace orvanth::texgen

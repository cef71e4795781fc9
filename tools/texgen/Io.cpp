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
  double flow;  // size of the dark lava flows beside the vent, radians (0: none)
  Rgb coreColour;
  Rgb haloColour;
  float haloStrength;
  float seed;
  double flowX = 0;  // where the flows are centred, relative to the vent
  double flowY = 0;
  bool ring = false;  // plume deposits that settled in a ring rather than a patch
};

class Io : public Surface {
 public:
  Io() : grid_(3.0) {
    Random random(0x10AA);
    const Rgb floors[] = {Hex(0x1d1713), Hex(0x2e2118), Hex(0x3a2a1c),
                          Hex(0x4a3524), Hex(0x3b3a2e), Hex(0x5a2e1c)};
    for (int i = 0; i < 280; ++i) {
      Vec3 centre = random.OnSphere();
      // Volcanic centres crowd toward the equator.
      centre = Normalize(Vec3{centre.x, centre.y * 0.8, centre.z});
      Volcano v{TangentFrame(centre),
                random.PowerLaw(0.2, 2.6, 2.2) * kDegree,
                0,
                0,
                {},
                {},
                0,
                static_cast<float>(random.Uniform(0, 100))};
      v.coreColour = floors[random.Next() % 6];
      const double kind = random.Uniform();
      if (kind < 0.018) {
        // Great plume: a wide, ragged ring of red deposits hundreds of kilometres across.
        v.halo = random.Uniform(8.0, 14.0) * kDegree;
        v.haloColour = Mix(Hex(0xb2462a), Hex(0xc8642e), static_cast<float>(random.Uniform()));
        v.haloStrength = static_cast<float>(random.Uniform(0.5, 0.65));
        v.ring = true;
      } else if (kind < 0.14) {
        // Smaller plume with pale sulphur-dioxide frost around it.
        v.halo = v.core * random.Uniform(2.5, 4.0) + 1.0 * kDegree;
        v.haloColour = Hex(0xf2f0dc);
        v.haloStrength = static_cast<float>(random.Uniform(0.35, 0.6));
      } else if (kind < 0.28) {
        // Red to orange halo of fresh deposits around an active vent.
        v.halo = v.core * random.Uniform(2.5, 4.0) + random.Uniform(1.5, 4.0) * kDegree;
        v.haloColour = Mix(Hex(0xb0452a), Hex(0xcf7a3a), static_cast<float>(random.Uniform()));
        v.haloStrength = static_cast<float>(random.Uniform(0.5, 0.8));
      }
      if (random.Chance(0.35)) {
        v.flow = v.core * random.Uniform(1.5, 3.5) + 0.3 * kDegree;
        const double angle = random.Uniform(0, 2 * std::numbers::pi);
        v.flowX = std::cos(angle) * v.flow * 0.5;
        v.flowY = std::sin(angle) * v.flow * 0.5;
      }
      grid_.Insert(centre, std::max({v.core * 1.5, v.halo * 1.5, v.core + v.flow * 1.8}),
                   static_cast<int>(volcanoes_.size()));
      volcanoes_.push_back(v);
    }
  }

  Rgb At(const Vec3& p) const override {
    const Vec3 warp = plains_.Fbm3(p * 2.0, 2);
    const Vec3 q = p + warp * 0.1;
    // Plains: broad soft patches of yellow, ochre and tan, with pale frost.
    const float m1 = plains_.Fbm(q * 1.7, 6);
    const float m2 = plains_.Fbm(q * 4.0 + Vec3{3.1, -2.2, 5.5}, 5);
    const float m3 = detail_.Fbm(q * 12.0, 4);
    Rgb colour = Hex(0xd8c062);
    colour = Mix(colour, Hex(0xc99448), SmoothStep(-0.05f, 0.6f, m1) * 0.85f);
    colour = Mix(colour, Hex(0xe4d890), SmoothStep(0.1f, 0.6f, -m1) * 0.6f);
    colour = Mix(colour, Hex(0xae7c50), SmoothStep(0.25f, 0.7f, m2) * 0.45f);
    colour = Mix(colour, Hex(0xb0aa5c), SmoothStep(0.3f, 0.7f, -m2) * 0.3f);
    // White frost fields.
    const float frost = plains_.Fbm(q * 3.0 + Vec3{-8.0, 1.0, 2.0}, 6);
    colour = Mix(colour, Hex(0xeeebdc), SmoothStep(0.3f, 0.75f, frost) * 0.7f);
    colour = colour * (1.0f + 0.06f * m3);

    // Darker, redder poles that keep the pattern of the plains.
    const float latitude = static_cast<float>(std::fabs(Latitude(p)) / kDegree);
    const float polar = SmoothStep(35.0f, 80.0f, latitude + 14.0f * m2);
    const Rgb polarColour = Mix(colour * Rgb{0.72f, 0.56f, 0.44f},
                                Mix(Hex(0x7d5a3c), Hex(0xa67f52), 0.5f + 0.5f * m3), 0.4f);
    colour = Mix(colour, polarColour, polar);

    for (const int index : grid_.Near(p)) colour = PaintVolcano(volcanoes_[index], p, colour);
    return colour;
  }

 private:
  Rgb PaintVolcano(const Volcano& v, const Vec3& p, Rgb colour) const {
    if (Dot(p, v.frame.centre) <= 0) return colour;
    const double x = v.frame.X(p), y = v.frame.Y(p);
    const double d = std::sqrt(x * x + y * y);
    if (v.halo > 0) {
      // Plume deposits: a ring with a ragged, lobed outline over a fainter fill.
      const double t = d / v.halo;
      const float rag = detail_.Fbm(Vec3{x / v.halo * 2.0, y / v.halo * 2.0, v.seed + 40.0}, 4);
      const double ring = v.ring ? std::exp(-std::pow((t + 0.2 * rag - 0.8) / 0.16, 2.0)) : 0.0;
      const double fill = 1.0 - SmoothStep(0.35f, 1.0f, static_cast<float>(t + 0.25 * rag));
      const float amount =
          v.haloStrength * static_cast<float>(std::max(ring, (v.ring ? 0.35 : 1.0) * fill));
      colour = Mix(colour, v.haloColour, Clamp01(amount * (0.8f + 0.4f * rag)));
    }
    // The dark caldera floor, with a ragged outline.
    const float rag = detail_.Fbm(Vec3{x / v.core * 0.6, y / v.core * 0.6, v.seed}, 2);
    const float t = static_cast<float>(d / v.core) + 0.22f * rag;
    float dark = 1.0f - SmoothStep(0.8f, 1.1f, t);
    if (v.flow > 0) {
      // Lobate lava flows spreading to one side of the vent.
      const double fx = (x - v.flowX) / v.flow, fy = (y - v.flowY) / v.flow;
      const float lobes = detail_.Fbm(Vec3{fx * 1.3, fy * 1.3, v.seed + 13.0}, 3);
      const float f = static_cast<float>(std::sqrt(fx * fx + fy * fy)) + 0.3f * lobes;
      dark = std::max(dark, 0.75f * (1.0f - SmoothStep(0.55f, 0.75f, f)));
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

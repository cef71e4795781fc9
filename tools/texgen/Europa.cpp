// Europa: bright ice stained tan in patches of chaos terrain, crossed by long curving
// reddish-brown lineae (the widest with a pale centre line), with a web of fine ridges and one
// young rayed crater.

#include <cmath>
#include <numbers>
#include <vector>

#include "tools/texgen/Bodies.h"
#include "tools/texgen/Craters.h"
#include "tools/texgen/Noise.h"
#include "tools/texgen/Random.h"

namespace orvanth::texgen {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegree = kPi / 180.0;

// A linea follows an arc of a small circle {p : dot(p, axis) = offset} between two angles.
struct Linea {
  Vec3 axis;
  Vec3 u, v;  // span the circle's plane: angle = atan2(dot(p, v), dot(p, u))
  double offset;
  double start;   // first angle, radians
  double length;  // angular length, radians
  double width;   // half width, radians
  float strength;
  bool banded;  // dark margins with a pale centre
};

class Europa : public Surface {
 public:
  Europa()
      : grid_(2.0),
        craters_(0xE0C4A7, CraterStyle{.count = 30,
                                       .minRadiusDegrees = 0.4,
                                       .maxRadiusDegrees = 2.0,
                                       .sizeExponent = 2.6,
                                       .relief = 0.8f,
                                       .rimBrightness = 0.15f,
                                       .floorBrightness = 0.0f,
                                       .freshFraction = 0.35,
                                       .freshBrightness = 0.6f,
                                       .brightTint = Hex(0xf6f4ee),
                                       .bigRayed = 1}) {
    Random random(0xE0A0);
    // A few long dark bands, more medium lines and many faint thin ones.
    for (int i = 0; i < 560; ++i) {
      const int kind = i < 36 ? 0 : i < 170 ? 1 : 2;
      Linea l;
      l.axis = random.OnSphere();
      const TangentFrame frame(l.axis);
      l.u = frame.east;
      l.v = frame.north;
      l.offset = random.Uniform(-0.3, 0.3);
      l.start = random.Uniform(0, 2 * kPi);
      const double lengths[][2] = {{70, 170}, {25, 110}, {8, 50}};
      const double widths[][2] = {{0.22, 0.45}, {0.1, 0.18}, {0.08, 0.11}};
      const double strengths[][2] = {{0.5, 0.75}, {0.3, 0.55}, {0.12, 0.3}};
      l.length = random.Uniform(lengths[kind][0], lengths[kind][1]) * kDegree;
      l.width = random.Uniform(widths[kind][0], widths[kind][1]) * kDegree;
      l.strength = static_cast<float>(random.Uniform(strengths[kind][0], strengths[kind][1]));
      l.banded = kind == 0 && random.Chance(0.7);
      // Register the arc along its length.
      const double radius = std::sqrt(std::max(0.0, 1.0 - l.offset * l.offset));
      const int index = static_cast<int>(lineae_.size());
      for (double a = 0; a <= l.length + 1e-9; a += 0.8 * kDegree) {
        const double angle = l.start + a;
        const Vec3 point =
            l.axis * l.offset + (l.u * std::cos(angle) + l.v * std::sin(angle)) * radius;
        grid_.Insert(point, 1.4 * kDegree + l.width * 3.0 + kMeander, index);
      }
      lineae_.push_back(l);
    }
  }

  Rgb At(const Vec3& p) const override {
    const Vec3 warp = noise_.Fbm3(p * 2.0, 2);
    // Ice from bluish white to cream; one hemisphere is dustier and redder than the other.
    const float tint = noise_.Fbm(p * 2.5, 4);
    Rgb colour = Mix(Hex(0xe8ebe9), Hex(0xe6dccb), 0.5f + 0.6f * tint);
    const float dusty = SmoothStep(-0.6f, 0.8f, static_cast<float>(Dot(p, kDustyHemisphere)));
    colour = Mix(colour, Hex(0xd2b99c), dusty * 0.45f);
    // Chaos terrain: broken, stained crust in mottled patches.
    const float chaos = noise_.Fbm(p * 2.2 + warp * 0.6, 6) + 0.25f * dusty - 0.1f;
    const float mottle = detail_.Fbm(p * 22.0, 4);
    const float broken = SmoothStep(0.1f, 0.65f, chaos + 0.15f * mottle);
    colour = Mix(colour, Mix(Hex(0xb89474), Hex(0x9e785a), 0.5f + 0.5f * mottle), broken * 0.7f);
    // Small dark spots (lenticulae) in and around the chaos.
    const float spots = detail_.Fbm(p * 45.0 + Vec3{7, 7, 7}, 2);
    colour = Mix(colour, Hex(0x9a7254), SmoothStep(0.5f, 0.8f, spots) * (0.2f + 0.5f * broken));
    // Fine ridges everywhere: a web of faint lines.
    const float ridges = detail_.Ridged(p * 14.0 + warp * 0.4, 3);
    colour = Mix(colour, Hex(0xb59a80), SmoothStep(0.75f, 0.96f, ridges) * 0.3f);
    colour = colour * (1.0f + 0.03f * detail_.Fbm(p * 60.0, 2));

    // The lineae meander a little: measure them on a slightly displaced sphere.
    const Vec3 q = Normalize(p + warp * kMeander);
    float shade = 0.0f, pale = 0.0f;
    for (const int index : grid_.Near(p)) {
      const Linea& l = lineae_[index];
      const double distance = std::fabs(Dot(q, l.axis) - l.offset);
      if (distance > l.width * 3.0) continue;
      double angle = std::atan2(Dot(q, l.v), Dot(q, l.u)) - l.start;
      angle = std::fmod(angle + 4 * kPi, 2 * kPi);
      if (angle > l.length) continue;
      // Taper toward both ends.
      const double end =
          std::min(angle, l.length - angle) / std::min(l.length * 0.25, 10 * kDegree);
      const float taper = static_cast<float>(std::min(1.0, end));
      const double t = distance / l.width;
      float line = static_cast<float>(std::exp(-t * t * 1.5));
      if (l.banded) {
        line = static_cast<float>(std::exp(-std::pow((t - 0.75) / 0.45, 2.0)));
        pale = std::max(pale, taper * static_cast<float>(std::exp(-t * t / 0.1)) * 0.6f);
      }
      shade = std::max(shade, line * l.strength * taper);
    }
    colour = Mix(colour, Hex(0xfbf8ef), pale);
    colour = Mix(colour, Mix(Hex(0x8d5236), Hex(0xa8683f), SmoothStep(-0.3f, 0.3f, warp.x)), shade);
    return craters_.Apply(p, colour);
  }

 private:
  static constexpr double kMeander = 0.03;
  static constexpr Vec3 kDustyHemisphere{0.0, 0.0, -1.0};
  Noise noise_{0xE0A01};
  Noise detail_{0xE0A02};
  std::vector<Linea> lineae_;
  FeatureGrid grid_;
  CraterField craters_;
};

}  // namespace

std::unique_ptr<Surface> MakeEuropa() {
  return std::make_unique<Europa>();
}

}  // namespace orvanth::texgen

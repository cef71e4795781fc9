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
        craters_(0xE0C4A7,
                 CraterStyle{30, 0.4, 2.0, 2.6, 0.8f, 0.15f, 0.0f, 0.35, 0.6f, Hex(0xf6f4ee)}) {
    Random random(0xE0A0);
    for (int i = 0; i < 420; ++i) {
      const bool major = i < 110;
      Linea l;
      l.axis = random.OnSphere();
      const TangentFrame frame(l.axis);
      l.u = frame.east;
      l.v = frame.north;
      l.offset = random.Uniform(-0.35, 0.35);
      l.start = random.Uniform(0, 2 * kPi);
      l.length = (major ? random.Uniform(50, 170) : random.Uniform(8, 60)) * kDegree;
      l.width = (major ? random.Uniform(0.18, 0.5) : random.Uniform(0.06, 0.16)) * kDegree;
      l.strength =
          static_cast<float>(major ? random.Uniform(0.55, 0.95) : random.Uniform(0.3, 0.65));
      l.banded = major && l.width > 0.3 * kDegree;
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
    const Vec3 warp = noise_.Fbm3(p * 2.0, 3);
    // Ice, from bluish white to cream, stained tan where the crust broke into chaos.
    const float chaos = noise_.Fbm(p * 3.2 + warp * 0.5, 6);
    Rgb colour = Mix(Hex(0xe9ebe6), Hex(0xe5dccb), 0.5f + 0.5f * noise_.Fbm(p * 5.0, 3));
    colour = Mix(colour, Hex(0xbd9c7b), SmoothStep(0.05f, 0.55f, chaos) * 0.75f);
    colour = Mix(colour, Hex(0xa37e60), SmoothStep(0.45f, 0.8f, chaos) * 0.5f);
    // Fine ridges everywhere: a web of faint lines.
    const float ridges = detail_.Ridged(p * 14.0 + warp * 0.4, 3);
    colour = Mix(colour, Hex(0xb59a80), SmoothStep(0.72f, 0.95f, ridges) * 0.35f);
    colour = colour * (1.0f + 0.035f * detail_.Fbm(p * 40.0, 3));

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

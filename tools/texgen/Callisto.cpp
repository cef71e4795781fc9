// Callisto: a dark, dusty, densely cratered ball; crater rims and young craters show bright
// ice, and one great multi-ring basin spreads over a hemisphere.

#include <cmath>
#include <numbers>

#include "tools/texgen/Bodies.h"
#include "tools/texgen/Craters.h"
#include "tools/texgen/Noise.h"

namespace orvanth::texgen {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

class Callisto : public Surface {
 public:
  Callisto()
      : basin_(FromLatLon(14 * kDegree, 300 * kDegree)),
        craters_(0xCA11, CraterStyle{.count = 9000,
                                     .minRadiusDegrees = 0.25,
                                     .maxRadiusDegrees = 5.0,
                                     .sizeExponent = 2.5,
                                     .relief = 0.5f,
                                     .rimBrightness = 0.5f,
                                     .floorBrightness = 0.02f,
                                     .freshFraction = 0.04,
                                     .freshBrightness = 0.85f,
                                     .brightTint = Hex(0xd8d2c6),
                                     .bigRayed = 1}) {}

  Rgb At(const Vec3& p) const override {
    const Vec3 warp = noise_.Fbm3(p * 2.0, 2);
    const Vec3 q = p + warp * 0.3;
    const float m1 = noise_.Fbm(q * 3.0, 5);
    const float m2 = detail_.Fbm(p * 12.0, 4);
    Rgb colour = Mix(Hex(0x51463b), Hex(0x786a59), 0.5f + 0.5f * m1);
    colour = Mix(colour, Hex(0x7f7466), SmoothStep(0.35f, 0.8f, m1) * 0.5f);
    colour = colour * (1.0f + 0.12f * m2);

    // The basin: a bright centre and rings of ridges fading outward.
    const double angle = std::acos(std::clamp(Dot(p, basin_), -1.0, 1.0)) / kDegree;
    if (angle < 40) {
      const float rag = detail_.Fbm(p * 20.0, 3);
      const float centre = 1.0f - SmoothStep(4.0f, 11.0f, static_cast<float>(angle) + 3 * rag);
      colour = Mix(colour, Hex(0xa69b8a), centre * 0.75f);
      const double ringPhase = angle / 2.6 + 0.6 * rag;
      const float rings = static_cast<float>(
          std::pow(std::max(0.0, std::sin(ringPhase * 2 * std::numbers::pi)), 6.0));
      const float fade = 1.0f - SmoothStep(10.0f, 40.0f, static_cast<float>(angle));
      colour = Mix(colour, Hex(0x9a8e7c),
                   rings * fade * SmoothStep(6.0f, 11.0f, static_cast<float>(angle)) * 0.5f);
    }
    return craters_.Apply(p, colour);
  }

 private:
  Noise noise_{0xCA1101};
  Noise detail_{0xCA1102};
  Vec3 basin_;
  CraterField craters_;
};

}  // namespace

std::unique_ptr<Surface> MakeCallisto() {
  return std::make_unique<Callisto>();
}

}  // namespace orvanth::texgen

#include "tools/texgen/Craters.h"

#include <cmath>
#include <numbers>

#include "tools/texgen/Random.h"

namespace orvanth::texgen {

namespace {
constexpr double kDegree = std::numbers::pi / 180.0;
// Light in the crater's tangent plane: from the west and a little north.
constexpr double kLightX = -0.92;
constexpr double kLightY = 0.39;
constexpr double kRimHeight = 0.3;
constexpr double kRimWidth = 0.12;
constexpr double kEjectaHeight = 0.12;
constexpr double kEjectaFall = 2.0;
}  // namespace

CraterField::CraterField(std::uint64_t seed, const CraterStyle& style)
    : style_(style), grid_(2.0), noise_(seed ^ 0x5EED) {
  Random random(seed);
  craters_.reserve(static_cast<std::size_t>(style.count));
  for (int i = 0; i < style.count + style.bigRayed; ++i) {
    const bool big = i >= style.count;
    const Vec3 centre = random.OnSphere();
    const double radius = (big ? random.Uniform(1.2, 2.2)
                               : random.PowerLaw(style.minRadiusDegrees, style.maxRadiusDegrees,
                                                 style.sizeExponent)) *
                          kDegree;
    const bool fresh = big || random.Chance(style.freshFraction);
    const float freshness = big     ? 1.0f
                            : fresh ? static_cast<float>(random.Uniform(0.5, 1.0))
                                    : 0.0f;
    const double reach = big ? random.Uniform(5.0, 7.0) : fresh ? 2.2 + 2.5 * freshness : 1.6;
    // Frames keep true east so every crater is lit from the same side. Most craters are old and
    // worn down; a few are crisp.
    Crater crater{
        TangentFrame(centre),
        radius,
        reach,
        style.relief * static_cast<float>(big ? 1.0 : 0.2 + std::pow(random.Uniform(), 2.0)),
        freshness,
        static_cast<float>(random.Uniform(0, 100))};
    grid_.Insert(centre, radius * reach, static_cast<int>(craters_.size()));
    craters_.push_back(crater);
  }
}

Rgb CraterField::Apply(const Vec3& p, Rgb colour) const {
  for (const int index : grid_.Near(p)) {
    const Crater& c = craters_[static_cast<std::size_t>(index)];
    if (Dot(p, c.frame.centre) <= 0) continue;
    const double x = c.frame.X(p) / c.radius;
    const double y = c.frame.Y(p) / c.radius;
    const double d2 = x * x + y * y;
    if (d2 >= c.reach * c.reach) continue;
    const double d = std::sqrt(d2);
    // Slight irregularity of the outline so craters are not perfect circles.
    const double wobble =
        0.06 * noise_.At(static_cast<float>(x * 1.3), static_cast<float>(y * 1.3), c.rayPhase);
    const double r = d * (1.0 + wobble);

    // Height profile: a bowl, a raised rim, and ejecta sloping away outside. Only its slope
    // toward the light matters for the shading.
    const double rim = (r - 1.0) / kRimWidth;
    double slope = -2.0 * kRimHeight * rim / kRimWidth * std::exp(-rim * rim);
    if (r < 1.0) {
      slope += 2.0 * r;
    } else {
      slope -= kEjectaHeight * kEjectaFall * std::exp(-(r - 1.0) * kEjectaFall);
    }
    const double toLight = d > 1e-9 ? (x * kLightX + y * kLightY) / d : 0.0;
    float shade = static_cast<float>(-slope * toLight * 0.18) * c.relief;
    shade = std::clamp(shade, -0.6f, 0.6f);

    float albedo = 0;
    if (r < 0.9) albedo += style_.floorBrightness;
    albedo += style_.rimBrightness * c.relief / style_.relief *
              static_cast<float>(std::exp(-std::pow((r - 0.97) / 0.09, 2)));
    colour = colour * (1.0f + shade + albedo);

    if (c.fresh > 0.0f) {
      // Bright blanket of ejecta fading outward, cut into rays.
      const double angle = std::atan2(y, x);
      // Rays: noise around the circle, drifting a little with distance so they are not
      // perfectly straight.
      const float drift = static_cast<float>(r * 0.15);
      const float rays = noise_.At(static_cast<float>(std::cos(angle) * 2.5),
                                   static_cast<float>(std::sin(angle) * 2.5), c.rayPhase + drift) *
                             0.6f +
                         noise_.At(static_cast<float>(std::cos(angle) * 7.0),
                                   static_cast<float>(std::sin(angle) * 7.0), c.rayPhase + 7) *
                             0.4f;
      const float rayMask = std::pow(Clamp01(rays * 1.5f + 0.35f), 1.5f);
      const float blanket = static_cast<float>(std::exp(-std::max(0.0, r - 0.8) * 2.2));
      const float rayReach =
          1.0f - SmoothStep(1.0f, static_cast<float>(c.reach), static_cast<float>(r));
      const float bright =
          c.fresh * style_.freshBrightness * (0.75f * blanket + 0.4f * rayMask * rayReach);
      colour = Mix(colour, style_.brightTint, Clamp01(bright));
    }
  }
  return colour;
}

}  // namespace orvanth::texgen

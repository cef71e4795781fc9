// Ganymede: old dark cratered plains cut by lanes of lighter grooved terrain, each lane with
// its own groove direction, frosty poles, and bright young craters with rays.

#include <cmath>
#include <numbers>
#include <vector>

#include "tools/texgen/Bodies.h"
#include "tools/texgen/Craters.h"
#include "tools/texgen/Noise.h"
#include "tools/texgen/Random.h"

namespace orvanth::texgen {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

// A patch of grooved terrain: grooves run across `across` (a tangent direction at `centre`).
struct Lane {
  Vec3 centre;
  Vec3 across;
  double frequency;  // grooves per radian
  float depth;
};

class Ganymede : public Surface {
 public:
  Ganymede()
      : craters_(0x6A4E, CraterStyle{.count = 1500,
                                     .minRadiusDegrees = 0.3,
                                     .maxRadiusDegrees = 4.0,
                                     .sizeExponent = 2.5,
                                     .relief = 0.55f,
                                     .rimBrightness = 0.12f,
                                     .floorBrightness = -0.02f,
                                     .freshFraction = 0.08,
                                     .freshBrightness = 0.8f,
                                     .brightTint = Hex(0xe9e6df),
                                     .bigRayed = 3}) {
    Random random(0x6A11);
    for (int i = 0; i < 150; ++i) {
      const Vec3 centre = random.OnSphere();
      const TangentFrame frame = TangentFrame(centre).Rotated(random.Uniform(0, std::numbers::pi));
      lanes_.push_back({centre, frame.east, random.Uniform(200, 380),
                        static_cast<float>(random.Uniform(0.03, 0.08))});
    }
    // One great dark region, as every old icy moon seems to keep one.
    darkCentre_ = FromLatLon(18 * kDegree, 150 * kDegree);
  }

  Rgb At(const Vec3& p) const override {
    const Vec3 warp = noise_.Fbm3(p * 1.8, 2);
    const Vec3 q = p + warp * 0.25;
    // Which terrain: broad dark blocks where the noise says so, and always in the great dark
    // region; the light lanes wind between them.
    float dark = noise_.Fbm(q * 1.5, 4) + 0.05f;
    const double toDark = Dot(p, darkCentre_);
    dark += static_cast<float>(SmoothStep(0.72f, 0.9f, static_cast<float>(toDark))) * 0.9f;
    const float isDark = SmoothStep(0.08f, 0.2f, dark + 0.1f * detail_.Fbm(p * 10.0, 3));

    const float mottle = detail_.Fbm(p * 9.0, 4);
    const Rgb darkColour = Mix(Hex(0x5c5147), Hex(0x7d6e5e), 0.5f + 0.6f * mottle);
    Rgb lightColour = Mix(Hex(0x8f8980), Hex(0xb3ada3), 0.5f + 0.6f * mottle);

    // Grooves: the lane whose centre is nearest decides their direction.
    const Lane* lane = &lanes_[0];
    double best = -2;
    const Vec3 jittered = Normalize(p + warp * 0.08);
    for (const Lane& l : lanes_) {
      const double d = Dot(jittered, l.centre);
      if (d > best) best = d, lane = &l;
    }
    const double along = Dot(p, lane->across) * lane->frequency + 6.0 * warp.y;
    const float grooves = static_cast<float>(std::sin(along) + 0.4 * std::sin(along * 1.7 + 1.0));
    // Some lanes are sharply grooved, others smoothed over.
    const float grooved = SmoothStep(-0.3f, 0.4f, detail_.Fbm(p * 5.0 + Vec3{4, 4, 4}, 3));
    lightColour = lightColour * (1.0f + lane->depth * grooves * grooved);
    // Darker and lighter stripes of whole groove sets.
    const float stripes = static_cast<float>(std::sin(along * 0.09 + 3.0 * warp.z));
    lightColour = lightColour * (1.0f + 0.06f * stripes);

    Rgb colour = Mix(lightColour, darkColour, isDark);
    // Faint furrows in the dark terrain.
    const float furrows = detail_.Ridged(p * 6.0, 2);
    colour = Mix(colour, colour * 1.08f, isDark * SmoothStep(0.88f, 0.98f, furrows));

    // Polar frost caps.
    const float latitude = static_cast<float>(std::fabs(Latitude(p)) / kDegree);
    const float frost = SmoothStep(42.0f, 70.0f, latitude + 10.0f * mottle);
    colour = Mix(colour, Hex(0xd5d3cf), frost * 0.55f);
    return craters_.Apply(p, colour);
  }

 private:
  Noise noise_{0x6A4E01};
  Noise detail_{0x6A4E02};
  std::vector<Lane> lanes_;
  Vec3 darkCentre_;
  CraterField craters_;
};

}  // namespace

std::unique_ptr<Surface> MakeGanymede() {
  return std::make_unique<Ganymede>();
}

}  // namespace orvanth::texgen

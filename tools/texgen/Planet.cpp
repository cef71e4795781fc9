// Orvanth: a gas giant of cream zones and tan to red-brown belts whose edges roll into eddies,
// with one great oval storm, a chain of small white ovals and a few dark barges.

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "tools/texgen/Bodies.h"
#include "tools/texgen/Noise.h"
#include "tools/texgen/Random.h"

namespace orvanth::texgen {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

// Colour by latitude (degrees, south to north) before turbulence: zones light, belts dark.
struct BandStop {
  float latitude;
  std::uint32_t colour;
};
constexpr std::array kBands = {
    BandStop{-90, 0x857a6d}, BandStop{-72, 0x978874}, BandStop{-63, 0xb4a184},
    BandStop{-57, 0x9a7d60}, BandStop{-51, 0xcdb99a}, BandStop{-45, 0xc4ab8a},
    BandStop{-40, 0x9c6e4c}, BandStop{-35, 0xae8560}, BandStop{-31, 0xe3d3b6},
    BandStop{-25, 0xe9ddc6}, BandStop{-21, 0xc49872}, BandStop{-18, 0xa2623f},
    BandStop{-11, 0x9a5a3a}, BandStop{-7, 0xd9b68c},  BandStop{-4, 0xece0c8},
    BandStop{0, 0xe4cba0},   BandStop{4, 0xefe3cb},   BandStop{7, 0xd4ab80},
    BandStop{9, 0x8e4f34},   BandStop{16, 0x9c5b3b},  BandStop{19, 0xc89a74},
    BandStop{22, 0xeadcc2},  BandStop{27, 0xe1d0b2},  BandStop{29, 0xa9805c},
    BandStop{33, 0xb08762},  BandStop{36, 0xdccaa8},  BandStop{42, 0xcfb998},
    BandStop{46, 0xa58566},  BandStop{50, 0xc8b292},  BandStop{56, 0xae9678},
    BandStop{62, 0xa39077},  BandStop{75, 0x948571},  BandStop{90, 0x857a6d},
};

Rgb BandColour(float latitude) {
  latitude = std::clamp(latitude, -90.0f, 90.0f);
  for (std::size_t i = 1; i < kBands.size(); ++i) {
    if (latitude <= kBands[i].latitude) {
      const float t = SmoothStep(kBands[i - 1].latitude, kBands[i].latitude, latitude);
      return Mix(Hex(kBands[i - 1].colour), Hex(kBands[i].colour), t);
    }
  }
  return Hex(kBands.back().colour);
}

// An oval vortex: it winds the clouds around it and paints its own colours inside.
struct Storm {
  TangentFrame frame;
  double a;      // semi-axis along the frame's east, radians
  double b;      // semi-axis along north, radians
  double swirl;  // turn of the clouds at the centre, radians (sign = direction)
  double reach;  // how far the winding reaches, in units of the oval
  Rgb core;      // colour at the centre
  Rgb rim;       // colour just inside the edge
  float collar;  // how much the clouds just outside are paled
  bool painted;  // false for eddies, which only wind the clouds
};

Storm MakeStorm(double latitude, double longitude, double a, double b, double swirl, double reach,
                Rgb core, Rgb rim, float collar) {
  return Storm{TangentFrame(FromLatLon(latitude * kDegree, longitude * kDegree)),
               a * kDegree,
               b * kDegree,
               swirl,
               reach,
               core,
               rim,
               collar,
               true};
}

Storm MakeEddy(double latitude, double longitude, double a, double b, double swirl) {
  Storm s = MakeStorm(latitude, longitude, a, b, swirl, 2.2, {}, {}, 0.0f);
  s.painted = false;
  return s;
}

// How sharply the band colour changes at a latitude: eddies gather where it does.
float BandContrast(float latitude) {
  return std::fabs(Luma(BandColour(latitude + 1.5f)) - Luma(BandColour(latitude - 1.5f)));
}

class Planet : public Surface {
 public:
  Planet() {
    // The great storm, in the southern belt's southern edge.
    storms_.push_back(
        MakeStorm(-21.5, 110, 12.5, 7.5, 1.5, 1.9, Hex(0xd88f62), Hex(0xb0553a), 0.55f));
    // A chain of white ovals further south, and a few in the far south.
    const double ovals[][2] = {{-33.5, 10}, {-33, 48}, {-34, 190},   {-33.5, 232},
                               {-33, 300},  {-47, 75}, {-46.5, 160}, {-47.5, 330}};
    for (const auto& o : ovals) {
      storms_.push_back(
          MakeStorm(o[0], o[1], 2.1, 1.5, 2.2, 2.4, Hex(0xf4efe6), Hex(0xe2d6c2), 0.25f));
    }
    // Dark brown barges along the northern belt.
    const double barges[][2] = {{14.5, 40}, {15, 150}, {14, 265}, {15.5, 318}};
    for (const auto& o : barges) {
      storms_.push_back(
          MakeStorm(o[0], o[1], 2.8, 1.1, -1.5, 2.0, Hex(0x5e3022), Hex(0x74402c), 0.0f));
    }
    // Small eddies, crowded along the edges of the belts where the jets shear.
    Random random(0xEDD1E5);
    while (storms_.size() < 150) {
      const double latitude = random.Uniform(-62, 62);
      if (!random.Chance(0.08 + 4.0 * BandContrast(static_cast<float>(latitude)))) continue;
      const double size = random.PowerLaw(0.8, 3.5, 2.3);
      // Neighbouring jets turn eddies opposite ways; the sign alternates with latitude.
      const double sign = std::sin(latitude * kDegree * 11.0) > 0 ? 1.0 : -1.0;
      storms_.push_back(MakeEddy(latitude, random.Uniform(0, 360), size * 1.8, size,
                                 sign * random.Uniform(0.8, 2.2)));
    }
    for (std::size_t i = 0; i < storms_.size(); ++i) {
      const Storm& s = storms_[i];
      grid_.Insert(s.frame.centre, std::max(s.a, s.b) * s.reach * 1.05, static_cast<int>(i));
    }
  }

  Rgb At(const Vec3& point) const override {
    Vec3 p = point;
    // Wind the clouds around each storm first, so the bands bend around it.
    struct Hit {
      const Storm* storm;
      double x, y, r;
    };
    std::array<Hit, 4> hits{};
    int hitCount = 0;
    for (const int index : grid_.Near(point)) {
      const Storm& s = storms_[static_cast<std::size_t>(index)];
      if (Dot(p, s.frame.centre) <= 0) continue;
      const double x = s.frame.X(p) / s.a;
      const double y = s.frame.Y(p) / s.b;
      const double r = std::sqrt(x * x + y * y);
      if (r >= s.reach) continue;
      const double falloff = 1.0 - r / s.reach;
      const double angle = s.swirl * falloff * falloff * (1.0 + r);
      const double c = std::cos(angle), sn = std::sin(angle);
      const double xr = x * c - y * sn, yr = x * sn + y * c;
      p = s.frame.ToSphere(xr * s.a, yr * s.b);
      if (s.painted && hitCount < static_cast<int>(hits.size())) hits[hitCount++] = {&s, x, y, r};
    }

    const double latitude = Latitude(p) / kDegree;
    const float polar = SmoothStep(50.0f, 78.0f, static_cast<float>(std::fabs(latitude)));

    // Turbulence: noise squeezed north-south so eddies stretch along the flow, displaced by a
    // second noise field so the belt edges curl instead of just waving.
    const Vec3 flow{p.x * 2.2, p.y * 9.0, p.z * 2.2};
    const Vec3 warp = warp_.Fbm3(flow, 3);
    const Vec3 curled = flow + warp * 0.55;
    const float turbulence = bands_.Fbm(curled * 1.3, 5);
    // Belt edges churn most where the jets are strongest, near the equatorial belts.
    const float churn =
        2.2f +
        1.6f * static_cast<float>(std::exp(-std::pow((std::fabs(latitude) - 17.0) / 9.0, 2.0)));
    Rgb colour = BandColour(static_cast<float>(latitude) + churn * turbulence);

    // Fine streaks along the flow; belts are more textured than zones.
    const Vec3 streakPoint{p.x * 6.0, p.y * 60.0, p.z * 6.0};
    const float streaks = detail_.Fbm(streakPoint + warp * 0.8, 4);
    const float darkness = Clamp01((0.85f - Luma(colour)) * 2.5f);
    colour = colour * (1.0f + streaks * (0.05f + 0.09f * darkness));

    // Broad changes of tint along each band, so no band is the same all round.
    const float tint = detail_.Fbm(Vec3{p.x * 1.6, p.y * 5.0, p.z * 1.6} + Vec3{5.2, 1.3, -7.7}, 2);
    colour = Mix(colour, colour * Rgb{1.06f, 0.97f, 0.86f}, 0.5f + 0.5f * tint);

    // Near the poles the bands break up into mottled, greyer cyclones.
    if (polar > 0.0f) {
      const Vec3 q = p * 6.0 + warp * 0.9;
      const float mottle = bands_.Fbm(q, 6);
      const float spots = detail_.Ridged(q * 2.0, 3);
      Rgb polarColour = Mix(Hex(0x786d60), Hex(0xb09e86), 0.5f + 0.6f * mottle);
      polarColour = Mix(polarColour, Hex(0xcbbba0), SmoothStep(0.75f, 0.95f, spots) * 0.5f);
      colour = Mix(colour, polarColour, polar * 0.7f);
    }

    for (int i = 0; i < hitCount; ++i) colour = PaintStorm(*hits[i].storm, hits[i], colour);
    return colour;
  }

 private:
  template <typename Hit>
  Rgb PaintStorm(const Storm& s, const Hit& hit, Rgb colour) const {
    // Pale collar of clouds swept around the outside of the oval.
    if (s.collar > 0.0f) {
      const float collar = 1.0f - SmoothStep(0.95f, 1.7f, static_cast<float>(hit.r));
      colour = Mix(colour, Hex(0xeee2cc), s.collar * collar);
    }
    const float inside = 1.0f - SmoothStep(0.88f, 1.0f, static_cast<float>(hit.r));
    if (inside <= 0.0f) return colour;
    // Spiral arms inside the oval: noise stretched along circles that wind inward.
    const double wound = std::atan2(hit.y, hit.x) + 4.0 * (1.0 - hit.r) * (1.0 - hit.r);
    const Vec3 q{std::cos(wound) * 1.2 + 11.0, std::sin(wound) * 1.2 - 3.0, hit.r * 7.0};
    const float swirls = detail_.Fbm(q, 4);
    const float ring = SmoothStep(0.25f, 0.9f, static_cast<float>(hit.r));
    Rgb storm = Mix(s.core, s.rim, ring);
    storm = storm * (1.0f + 0.13f * swirls);
    const float edge = SmoothStep(0.78f, 0.92f, static_cast<float>(hit.r)) *
                       (1.0f - SmoothStep(0.92f, 1.0f, static_cast<float>(hit.r)));
    storm = Mix(storm, s.rim * 0.85f, 0.45f * edge);
    return Mix(colour, storm, inside);
  }

  Noise warp_{0x0A11CE};
  Noise bands_{0xBA4D5};
  Noise detail_{0xDE7A11};
  std::vector<Storm> storms_;
  FeatureGrid grid_{3.0};
};

}  // namespace

std::unique_ptr<Surface> MakePlanet() {
  return std::make_unique<Planet>();
}

}  // namespace orvanth::texgen

// The sky: a faint band of galactic glow with dark dust lanes across it, and stars of many
// brightnesses and colours, crowded toward the band. Stars are splatted as small soft spots
// whose size is measured on the sphere, so they stay round wherever the sky sphere shows them.

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "tools/texgen/Bodies.h"
#include "tools/texgen/Noise.h"
#include "tools/texgen/Parallel.h"
#include "tools/texgen/Random.h"

namespace orvanth::texgen {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegree = kPi / 180.0;

// The galaxy's plane, tilted against the map's equator.
struct Galaxy {
  Vec3 pole = Normalize(Vec3{0.35, 0.55, -0.76});
  Vec3 centre;  // direction of the bright bulge, in the plane
  Vec3 side;

  Galaxy() {
    centre = Normalize(Cross(pole, Vec3{0.2, 0.1, 1.0}));
    side = Cross(pole, centre);
  }
  double Latitude(const Vec3& p) const { return std::asin(std::clamp(Dot(p, pole), -1.0, 1.0)); }
  double Longitude(const Vec3& p) const { return std::atan2(Dot(p, side), Dot(p, centre)); }
  // Relative density of stars and glow: 1 in the plane, lower away from it, more in the bulge.
  double Density(const Vec3& p) const {
    const double b = Latitude(p) / kDegree;
    const double l = Longitude(p) / kDegree;
    return std::exp(-b * b / (2 * 14.0 * 14.0)) *
           (0.7 + 0.6 * std::exp(-l * l / (2 * 45.0 * 45.0)));
  }
};

class Sky {
 public:
  Rgb At(const Vec3& p) const {
    const double b = galaxy_.Latitude(p) / kDegree;
    const double l = galaxy_.Longitude(p) / kDegree;
    Rgb colour = Hex(0x020306);
    // A faint halo of unresolved stars around the plane.
    const float halo = static_cast<float>(std::exp(-b * b / (2 * 22.0 * 22.0))) * 0.05f;
    colour += Hex(0x8f9ab8) * halo;
    // Farther out the structured glow below has faded to nothing; skip its noise.
    const float near = 1.0f - SmoothStep(28.0f, 36.0f, static_cast<float>(std::fabs(b)));
    if (near <= 0.0f) return colour;

    const Vec3 warp = noise_.Fbm3(p * 3.0, 3);
    const Vec3 q = p + warp * 0.1;
    // Clumpy star clouds rather than smooth glow.
    const float clouds = Clamp01(0.45f + 0.6f * noise_.Fbm(q * 5.0, 5));
    const double width = 9.0 + 3.0 * warp.x;
    const float band = static_cast<float>(std::exp(-b * b / (2 * width * width)));
    const float bulge = static_cast<float>(std::exp(-l * l / (2 * 30.0 * 30.0)) *
                                           std::exp(-b * b / (2 * 13.0 * 13.0)));
    float glow = (band * (0.35f + 0.9f * clouds * clouds) + bulge * 1.1f) * 0.2f * near;

    // Dust: dark lanes that wander along the middle of the band and break into filaments.
    const double laneCentre = 4.0 * noise_.Fbm(Vec3{p.x * 1.5, p.y * 1.5 + 9, p.z * 1.5}, 2);
    const double laneWidth = 3.2 + 1.5 * warp.y;
    // The lanes come and go along the band.
    const float broken = SmoothStep(-0.35f, 0.3f, dust_.Fbm(p * 2.5 + Vec3{-4, 2, 9}, 3));
    const float lane =
        broken * static_cast<float>(std::exp(-std::pow((b - laneCentre) / laneWidth, 2.0)));
    const float filaments =
        SmoothStep(0.2f, 0.75f, dust_.Fbm(q * 9.0, 5) * 0.5f + 0.5f + lane * 0.4f);
    const float dust = Clamp01(lane * 0.8f * filaments + filaments * 0.25f * band);
    glow *= 1.0f - 0.8f * dust;

    const Rgb armColour = Hex(0x8f9ab8);
    const Rgb bulgeColour = Hex(0xd8bd94);
    const float warm = Clamp01(bulge * 2.0f + dust * 0.4f);
    colour += Mix(armColour, bulgeColour, warm) * glow;

    // A few faint red emission clouds near the plane.
    const float nebula = SmoothStep(0.55f, 0.85f, dust_.Fbm(q * 4.0 + Vec3{20, 0, 3}, 4));
    colour += Hex(0xb8404a) * (nebula * band * near * 0.04f);
    return colour;
  }

  const Galaxy& galaxy() const { return galaxy_; }

 private:
  Galaxy galaxy_;
  Noise noise_{0x5C1E5};
  Noise dust_{0xD057};
};

struct Star {
  double x, y;  // pixel coordinates of the centre
  double latitude;
  Rgb colour;  // already multiplied by the flux
  double glowSigma;
  float glow;  // share of the flux in the glow
  int reach;   // in pixels, vertically
};

std::vector<Star> PlaceStars(const Galaxy& galaxy, int width, int height) {
  // Counts scale with the area so small previews look like the full sky.
  const double area = static_cast<double>(width) * height / (6000.0 * 3000.0);
  const double pixelScale = std::clamp(height / 3000.0, 0.15, 4.0);
  Random random(0x57A125);
  std::vector<Star> stars;
  const Rgb tints[] = {Hex(0x8aa6ff), Hex(0xb8c8ff), Hex(0xf4f4ff), Hex(0xfff4e8),
                       Hex(0xffe0a8), Hex(0xffbf78), Hex(0xff9f5e)};
  const double tintWeights[] = {0.07, 0.15, 0.22, 0.22, 0.18, 0.11, 0.05};

  // Flux in units where a star of flux 1 centred on a pixel peaks at about half white.
  const auto add = [&](const Vec3& p, double flux) {
    double pick = random.Uniform();
    int tint = 0;
    while (tint < 6 && pick > tintWeights[tint]) pick -= tintWeights[tint++];
    // Faint stars show little colour.
    const float saturation =
        static_cast<float>(std::clamp(0.6 + 0.4 * std::log10(flux + 1), 0.6, 1.0));
    const Rgb tintColour = Saturate(tints[tint], saturation - 1.0f);
    const double latitude = Latitude(p);
    double longitude = Longitude(p);
    if (longitude < 0) longitude += 2 * kPi;
    Star star;
    star.x = longitude / (2 * kPi) * width - 0.5;
    star.y = (kPi / 2 - latitude) / kPi * height - 0.5;
    star.latitude = latitude;
    star.colour = tintColour * static_cast<float>(flux);
    star.glow = flux > 1.5 ? static_cast<float>(std::min(0.22, 0.04 * std::log2(flux))) : 0.0f;
    star.glowSigma = (1.6 + 0.45 * std::log2(std::max(flux, 1.0))) * pixelScale;
    const double glowReach =
        star.glow > 0 ? star.glowSigma * std::sqrt(2 * std::log(flux * star.glow * 400)) : 0;
    star.reach = static_cast<int>(std::ceil(std::max(2.0, glowReach)));
    stars.push_back(star);
  };

  // Field stars everywhere, more toward the galaxy's plane: most faint, a few brilliant.
  const int fieldCount = std::max(50, static_cast<int>(65000 * area));
  while (static_cast<int>(stars.size()) < fieldCount) {
    const Vec3 p = random.OnSphere();
    if (!random.Chance(0.3 + 0.7 * galaxy.Density(p))) continue;
    add(p, 1.4 * random.PowerLaw(0.08, 90.0, 2.4));
  }
  // The grain of the galactic band: swarms of faint stars in the plane only.
  const int grainCount = fieldCount + static_cast<int>(110000 * area);
  while (static_cast<int>(stars.size()) < grainCount) {
    const Vec3 p = random.OnSphere();
    const double density = galaxy.Density(p);
    if (!random.Chance(density * density)) continue;
    add(p, random.PowerLaw(0.04, 0.35, 2.0));
  }
  return stars;
}

// The glow varies slowly, so it is computed on a grid of a third of the resolution and
// interpolated.
class CoarseSky {
 public:
  CoarseSky(const Sky& sky, int width, int height, int threads)
      : width_(std::max(4, width / 3)),
        height_(std::max(2, height / 3)),
        values_(static_cast<std::size_t>(width_) * height_) {
    ForEachRow(height_, threads, [&](int y) {
      for (int x = 0; x < width_; ++x) {
        values_[static_cast<std::size_t>(y) * width_ + x] =
            sky.At(MapDirection(x, y, width_, height_));
      }
    });
  }
  // Bilinear, wrapping across the seam and clamped at the poles; (u, v) in [0, 1].
  Rgb At(double u, double v) const {
    const double fx = u * width_ - 0.5, fy = std::clamp(v * height_ - 0.5, 0.0, height_ - 1.0);
    const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(fy);
    const float tx = static_cast<float>(fx - x0), ty = static_cast<float>(fy - y0);
    const int xa = (x0 % width_ + width_) % width_, xb = (xa + 1) % width_;
    const int ya = y0, yb = std::min(y0 + 1, height_ - 1);
    const auto at = [&](int x, int y) { return values_[static_cast<std::size_t>(y) * width_ + x]; };
    return Mix(Mix(at(xa, ya), at(xb, ya), tx), Mix(at(xa, yb), at(xb, yb), tx), ty);
  }

 private:
  int width_, height_;
  std::vector<Rgb> values_;
};

// A 4 x 4 Bayer threshold: it keeps the faint glow from banding like random dither does, but
// repeats, so the PNG compresses it well.
float OrderedDither(int x, int y) {
  static constexpr int kBayer[4][4] = {
      {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  return (static_cast<float>(kBayer[y & 3][x & 3]) + 0.5f) / 16.0f;
}

}  // namespace

Image RenderStars(int width, int height, int threads) {
  const Sky sky;
  const CoarseSky glow(sky, width, height, threads);
  const std::vector<Star> stars = PlaceStars(sky.galaxy(), width, height);

  // Stars bucketed by the row of their centre; a row gathers the buckets within reach.
  std::vector<std::vector<int>> byRow(static_cast<std::size_t>(height));
  int maxReach = 0;
  for (std::size_t i = 0; i < stars.size(); ++i) {
    const int row = std::clamp(static_cast<int>(std::lround(stars[i].y)), 0, height - 1);
    byRow[static_cast<std::size_t>(row)].push_back(static_cast<int>(i));
    maxReach = std::max(maxReach, stars[i].reach);
  }

  Image image(width, height);
  ForEachRow(height, threads, [&](int y) {
    std::vector<Rgb> light(static_cast<std::size_t>(width));
    const double v = (y + 0.5) / height;
    for (int x = 0; x < width; ++x) light[x] = glow.At((x + 0.5) / width, v);

    // Horizontal pixels shrink toward the poles: measure star sizes as angles on the sphere.
    const double rowLatitude = kPi / 2 - v * kPi;
    const double squeeze = std::max(1e-3, std::cos(rowLatitude) * (2.0 * height / width));
    for (int row = std::max(0, y - maxReach); row <= std::min(height - 1, y + maxReach); ++row) {
      for (const int index : byRow[static_cast<std::size_t>(row)]) {
        const Star& s = stars[static_cast<std::size_t>(index)];
        const double dy = y - s.y;
        if (std::fabs(dy) > s.reach + 1) continue;
        const int span =
            static_cast<int>(std::min<double>(width / 2, std::ceil((s.reach + 1) / squeeze)));
        const int cx = static_cast<int>(std::lround(s.x));
        for (int x = cx - span; x <= cx + span; ++x) {
          const double dx = (x - s.x) * squeeze;
          const double d2 = dx * dx + dy * dy;
          // Core: a Gaussian of about a pixel; glow: a wider, faint one.
          float amount =
              static_cast<float>(std::exp(-d2 / (2 * 0.5 * 0.5)) * 0.55) * (1.0f - s.glow);
          if (s.glow > 0) {
            const double g2 = s.glowSigma * s.glowSigma;
            amount += static_cast<float>(std::exp(-d2 / (2 * g2)) / (2 * kPi * g2)) * s.glow;
          }
          light[static_cast<std::size_t>((x % width + width) % width)] += s.colour * amount;
        }
      }
    }

    std::uint8_t* out = image.Row(y);
    for (int x = 0; x < width; ++x, out += 4) {
      const Rgb c = light[x];
      // Soft saturation: bright cores turn white, faint light stays linear.
      const auto tone = [](float value) { return 1.0f - std::exp(-value * 1.1f); };
      const float dither = OrderedDither(x, y);
      out[0] = ToByte(tone(c.r), dither);
      out[1] = ToByte(tone(c.g), dither);
      out[2] = ToByte(tone(c.b), dither);
      out[3] = 255;
    }
  });
  return image;
}

}  // namespace orvanth::texgen

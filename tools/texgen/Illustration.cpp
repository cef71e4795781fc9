// The About picture and the application icon: the planet with one or two moons, lit from the
// upper left, drawn from the same surfaces as the maps, on a transparent background. Each pixel
// averages a grid of samples, so outlines are anti-aliased and the moons' shadows soft.

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "tools/texgen/Bodies.h"
#include "tools/texgen/Parallel.h"

namespace orvanth::texgen {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

// A body in the picture: view space has x right, y up, z toward the viewer, in units of the
// picture's smaller side.
struct Body {
  const Surface* surface;
  Vec3 centre;
  double radius;
  // Orientation: the surface direction seen at the disc's centre, the tilt of the north pole
  // toward the right, and how far the north pole leans toward the viewer.
  double facingLongitude;
  double tilt;
  double lean;
  float limbDarkening;
  float contrast;  // > 1 strengthens the surface's own contrast, for tiny icons

  // The surface direction under a point of the view-space unit normal n.
  Vec3 SurfaceDirection(const Vec3& n) const {
    // Undo the tilt (about the view axis) and the lean (about the horizontal axis).
    const double ct = std::cos(tilt), st = std::sin(tilt);
    const Vec3 a{n.x * ct - n.y * st, n.x * st + n.y * ct, n.z};
    const double cl = std::cos(lean), sl = std::sin(lean);
    const Vec3 b{a.x, a.y * cl - a.z * sl, a.y * sl + a.z * cl};
    // The maps show longitude growing to the right when seen from outside, north up.
    const Vec3 facing = FromLatLon(0, facingLongitude);
    const Vec3 east{-std::sin(facingLongitude), 0, std::cos(facingLongitude)};
    return Normalize(east * b.x + Vec3{0, 1, 0} * b.y + facing * b.z);
  }
};

struct Layout {
  std::vector<Body> bodies;
  Vec3 light;  // toward the light
};

struct Hit {
  const Body* body = nullptr;
  Vec3 point;  // view space
  Vec3 normal;
};

Hit Nearest(const std::vector<Body>& bodies, double x, double y) {
  Hit hit;
  double bestZ = -1e9;
  for (const Body& body : bodies) {
    const double dx = x - body.centre.x, dy = y - body.centre.y;
    const double d2 = dx * dx + dy * dy;
    if (d2 >= body.radius * body.radius) continue;
    const double dz = std::sqrt(body.radius * body.radius - d2);
    const double z = body.centre.z + dz;
    if (z > bestZ) {
      bestZ = z;
      hit.body = &body;
      hit.point = {x, y, z};
      hit.normal = Vec3{dx, dy, dz} * (1.0 / body.radius);
    }
  }
  return hit;
}

// How much of the light reaches a point: 0 in another body's shadow, with a soft edge.
float Sunlight(const std::vector<Body>& bodies, const Hit& hit, const Vec3& light) {
  float lit = 1.0f;
  for (const Body& other : bodies) {
    if (&other == hit.body) continue;
    const Vec3 toCentre = other.centre - hit.point;
    const double along = Dot(toCentre, light);
    if (along <= 0) continue;
    const double miss = Length(toCentre - light * along);
    // The sun is not a point: the umbra narrows behind the moon, inside a soft penumbra.
    const double umbra = other.radius * 0.7;
    const double penumbra = other.radius * 0.25;
    lit *= SmoothStep(static_cast<float>(umbra - penumbra), static_cast<float>(umbra + penumbra),
                      static_cast<float>(miss));
  }
  return lit;
}

Rgb Shade(const Hit& hit, const Layout& layout, const std::vector<Body>& bodies) {
  const Body& body = *hit.body;
  Rgb colour = body.surface->At(body.SurfaceDirection(hit.normal));
  if (body.contrast != 1.0f) {
    const Rgb mean = Hex(0xc8a888);
    colour = mean + (colour - mean) * body.contrast;
  }
  const float facing = static_cast<float>(Dot(hit.normal, layout.light));
  // Lambert with a slightly softened terminator, a little ambient light, and darkening toward
  // the limb as a thick atmosphere shows.
  float diffuse = SmoothStep(-0.08f, 0.25f, facing) * std::max(facing, 0.0f) * 0.3f +
                  std::max(facing, 0.0f) * 0.8f;
  diffuse *= Sunlight(bodies, hit, layout.light);
  const float limb =
      1.0f -
      body.limbDarkening * (1.0f - std::sqrt(std::max(0.0f, static_cast<float>(hit.normal.z))));
  return colour * ((0.05f + 1.02f * diffuse) * limb);
}

}  // namespace

Image RenderIllustration(Scene scene, int width, int height, int threads) {
  const auto planet = MakePlanet();
  const auto io = MakeIo();
  const auto europa = MakeEuropa();

  // Coordinates in units of the smaller side, origin at the picture's centre.
  Layout layout;
  layout.light = Normalize(Vec3{-0.5, 0.38, 0.78});
  const double side = std::min(width, height);
  if (scene == Scene::About) {
    layout.bodies = {
        {planet.get(),
         {-0.07, 0.04, 0},
         0.39,
         110 * kDegree,
         -14 * kDegree,
         -8 * kDegree,
         0.35f,
         1.0f},
        {io.get(), {0.33, -0.33, 0.6}, 0.085, 30 * kDegree, -14 * kDegree, 0, 0.25f, 1.0f},
        {europa.get(), {-0.4, 0.37, 0.55}, 0.062, 200 * kDegree, -14 * kDegree, 0, 0.25f, 1.0f},
    };
  } else {
    // Icons: a bigger planet and one bright moon, clearer contrast the smaller they get.
    const float contrast =
        static_cast<float>(1.0 + std::clamp((64.0 - side) / 48.0, 0.0, 1.0) * 0.6);
    const double moon = side <= 32 ? 0.16 : 0.13;
    layout.bodies = {
        {planet.get(),
         {-0.05, 0.05, 0},
         0.42,
         110 * kDegree,
         -14 * kDegree,
         -8 * kDegree,
         0.3f,
         contrast},
        {io.get(),
         {0.5 - moon - 0.02, -0.5 + moon + 0.02, 0.7},
         moon,
         30 * kDegree,
         -14 * kDegree,
         0,
         0.2f,
         1.0f},
    };
  }

  // Each pixel averages samples x samples points: at least 2 x 2 for smooth outlines, and
  // enough that small icons average the clouds of a picture a few hundred pixels wide.
  const int samples = std::max(2, static_cast<int>(std::ceil(320.0 / side)));
  Image image(width, height);
  ForEachRow(height, threads, [&](int y) {
    std::uint8_t* out = image.Row(y);
    for (int x = 0; x < width; ++x, out += 4) {
      Rgb sum;
      float coverage = 0;
      for (int sy = 0; sy < samples; ++sy) {
        for (int sx = 0; sx < samples; ++sx) {
          const double px = x + (sx + 0.5) / samples, py = y + (sy + 0.5) / samples;
          const double vx = (px - width * 0.5) / side, vy = (height * 0.5 - py) / side;
          const Hit hit = Nearest(layout.bodies, vx, vy);
          if (!hit.body) continue;
          sum += Shade(hit, layout, layout.bodies);
          coverage += 1.0f;
        }
      }
      const float n = static_cast<float>(samples * samples);
      const float alpha = coverage / n;
      const Rgb c = coverage > 0 ? sum * (1.0f / coverage) : Rgb{};
      out[0] = ToByte(c.r);
      out[1] = ToByte(c.g);
      out[2] = ToByte(c.b);
      out[3] = ToByte(alpha);
    }
  });
  return image;
}

}  // namespace orvanth::texgen

#pragma once
// Impact craters for the icy moons: a bowl with a raised rim, shaded as if lit from the west so
// the albedo map reads as relief, with bright rims and, for fresh craters, bright ejecta and
// rays.

#include <cstdint>
#include <vector>

#include "tools/texgen/Color.h"
#include "tools/texgen/Noise.h"
#include "tools/texgen/Surface.h"

namespace orvanth::texgen {

struct CraterStyle {
  int count;                // craters on the whole sphere
  double minRadiusDegrees;  // sizes follow a power law between these
  double maxRadiusDegrees;
  double sizeExponent;    // of the size density; larger means more small craters
  float relief;           // strength of the light and shade on walls and rims
  float rimBrightness;    // how much the rim is brightened
  float floorBrightness;  // floor albedo change (negative: darker floors)
  double freshFraction;   // share of young craters with bright ejecta and rays
  float freshBrightness;  // how bright the young ejecta is
  Rgb brightTint;         // colour of fresh ice in rims, ejecta and rays
  int bigRayed = 0;       // extra large young craters whose rays reach far
};

class CraterField {
 public:
  CraterField(std::uint64_t seed, const CraterStyle& style);
  // The surface colour at p with every crater that reaches p painted over it, oldest first.
  Rgb Apply(const Vec3& p, Rgb colour) const;

 private:
  struct Crater {
    TangentFrame frame;
    double radius;  // radians
    double reach;   // in units of the radius
    float relief;
    float fresh;     // 0 old .. 1 young
    float rayPhase;  // decorrelates the rays of different craters
  };
  CraterStyle style_;
  std::vector<Crater> craters_;
  FeatureGrid grid_;
  Noise noise_;
};

}  // namespace orvanth::texgen

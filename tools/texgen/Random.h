#pragma once
// Deterministic random numbers: the same seed gives the same images on every machine and
// every run, so nothing here may depend on the standard library's distributions.

#include <cmath>
#include <cstdint>
#include <numbers>

#include "tools/texgen/Vec3.h"

namespace orvanth::texgen {

// SplitMix64: tiny, fast and with a fully specified output sequence.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  // In [0, 1).
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  double Uniform(double low, double high) { return low + (high - low) * Uniform(); }
  bool Chance(double probability) { return Uniform() < probability; }

  // A direction spread evenly over the unit sphere.
  Vec3 OnSphere() {
    const double z = Uniform(-1.0, 1.0);
    const double angle = Uniform(0.0, 2.0 * std::numbers::pi);
    const double r = std::sqrt(std::max(0.0, 1.0 - z * z));
    return {r * std::cos(angle), z, r * std::sin(angle)};
  }

  // Sizes of natural features (craters, spots) follow a power law: many small, few large.
  // Returns a value in [low, high] with density proportional to x^-exponent (exponent > 1).
  double PowerLaw(double low, double high, double exponent) {
    const double a = 1.0 - exponent;
    const double u = Uniform();
    const double lo = std::pow(low, a);
    const double hi = std::pow(high, a);
    return std::pow(lo + (hi - lo) * u, 1.0 / a);
  }

 private:
  std::uint64_t state_;
};

}  // namespace orvanth::texgen
